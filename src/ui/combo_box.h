#pragma once

#include <QComboBox>

#include "ui/tobject.h"

// An editable drop-down list. SetItemIndex runs nothing; a user's choice or typed
// text runs OnChange. Typed text that matches no entry leaves nothing selected.
class TComboBox : public QComboBox, public TObject {
 public:
  explicit TComboBox(QWidget* parent = nullptr);

  int ItemIndex() const { return currentIndex(); }
  // An index outside the list selects nothing.
  void SetItemIndex(int index);
  QString Text() const { return currentText(); }
  void SetText(const QString& text);

  TNotifyEvent OnChange;

 private:
  void TextTyped(const QString& text);
};
