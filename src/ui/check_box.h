#pragma once

#include <QCheckBox>

#include "ui/tobject.h"

// A check box whose click handler runs on every change of state: a user's click,
// or SetChecked with a different state. Qt's own setChecked runs nothing.
class TCheckBox : public QCheckBox, public TObject {
 public:
  explicit TCheckBox(const QString& caption, QWidget* parent = nullptr);

  bool Checked() const { return isChecked(); }
  void SetChecked(bool checked);

  TNotifyEvent OnClick;
};
