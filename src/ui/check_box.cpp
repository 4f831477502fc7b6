#include "ui/check_box.h"

#include <QSignalBlocker>

#include "ui/user_handler.h"

TCheckBox::TCheckBox(const QString& caption, QWidget* parent) : QCheckBox(caption, parent) {
  connect(this, &QAbstractButton::clicked, this, [this] {
    ui::RunUserHandler([this] {
      if (OnClick) OnClick(this);
    });
  });
}

void TCheckBox::SetChecked(bool checked) {
  if (checked == isChecked()) return;
  {
    const QSignalBlocker blocker(this);
    setChecked(checked);
  }
  if (OnClick) OnClick(this);
}
