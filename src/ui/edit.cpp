#include "ui/edit.h"

#include "ui/user_handler.h"

TEdit::TEdit(QWidget* parent) : QLineEdit(parent) {
  connect(this, &QLineEdit::textChanged, this, [this] {
    if (!OnChange) return;
    if (codeChanges_ > 0)
      OnChange(this);
    else
      ui::RunUserHandler([this] { OnChange(this); });
  });
}

void TEdit::SetText(const QString& text) {
  if (text == this->text()) return;
  ++codeChanges_;
  struct Done {
    int& count;
    ~Done() { --count; }
  } done{codeChanges_};
  setText(text);
}
