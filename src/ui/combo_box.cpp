#include "ui/combo_box.h"

#include <QLineEdit>
#include <QSignalBlocker>

#include "ui/user_handler.h"

TComboBox::TComboBox(QWidget* parent) : QComboBox(parent) {
  setEditable(true);
  setInsertPolicy(QComboBox::NoInsert);
  setCompleter(nullptr);
  setMaxVisibleItems(32);
  connect(this, &QComboBox::activated, this, [this] {
    ui::RunUserHandler([this] {
      if (OnChange) OnChange(this);
    });
  });
  connect(lineEdit(), &QLineEdit::textEdited, this, [this](const QString& text) {
    TextTyped(text);
    ui::RunUserHandler([this] {
      if (OnChange) OnChange(this);
    });
  });
}

void TComboBox::SetItemIndex(int index) {
  const QSignalBlocker blocker(this);
  setCurrentIndex(index >= 0 && index < count() ? index : -1);
}

void TComboBox::SetText(const QString& text) {
  const QSignalBlocker blocker(this);
  lineEdit()->setText(text);
}

void TComboBox::TextTyped(const QString& text) {
  const QSignalBlocker blocker(this);
  const int match = findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
  if (match == currentIndex()) return;
  const int cursor = lineEdit()->cursorPosition();
  setCurrentIndex(match);
  lineEdit()->setText(text);
  lineEdit()->setCursorPosition(cursor);
}
