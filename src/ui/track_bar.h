#pragma once

#include <QSlider>

#include "ui/tobject.h"

// A slider whose change handler runs on every real change of position, by the
// user or by SetPosition (which clamps to Min..Max).
class TTrackBar : public QSlider, public TObject {
 public:
  TTrackBar(Qt::Orientation orientation, QWidget* parent, int min, int max, int position);

  int Position() const { return value(); }
  void SetPosition(int position);

  TNotifyEvent OnChange;

 private:
  int codeChanges_ = 0;
};
