#include "ui/radio_button.h"

#include <QSignalBlocker>

#include "ui/user_handler.h"

TRadioButton::TRadioButton(const QString& caption, QWidget* parent, int tag)
    : QRadioButton(caption, parent), Tag(tag) {
  setAutoExclusive(false);
  connect(this, &QAbstractButton::clicked, this, [this] {
    if (isChecked()) return;
    ui::RunUserHandler([this] { SetChecked(true); });
  });
}

void TRadioButton::SetChecked(bool checked) {
  if (checked == isChecked()) return;
  if (checked && parentWidget()) {
    for (TRadioButton* other :
         parentWidget()->findChildren<TRadioButton*>(Qt::FindDirectChildrenOnly)) {
      if (other == this || !other->isChecked()) continue;
      const QSignalBlocker blocker(other);
      other->setChecked(false);
    }
  }
  {
    const QSignalBlocker blocker(this);
    setChecked(checked);
  }
  if (checked && OnClick) OnClick(this);
}
