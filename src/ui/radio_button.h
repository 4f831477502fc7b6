#pragma once

#include <QRadioButton>

#include "ui/tobject.h"

// A radio button whose exclusivity inside its parent (the group box) is kept by
// this code, not by Qt: loading may leave a group with none checked. Checking runs
// OnClick once; unchecking, and clicking the one already checked, run nothing.
class TRadioButton : public QRadioButton, public TObject {
 public:
  explicit TRadioButton(const QString& caption, QWidget* parent = nullptr, int tag = 0);

  bool Checked() const { return isChecked(); }
  void SetChecked(bool checked);

  int Tag;
  TNotifyEvent OnClick;

 protected:
  void nextCheckState() override {}  // a click checks through SetChecked, never toggles off
};
