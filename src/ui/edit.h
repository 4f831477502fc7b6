#pragma once

#include <QLineEdit>

#include "ui/tobject.h"

// An edit box whose change handler runs on every change of its text, typed by the
// user or set by code (also by an attached up-down).
class TEdit : public QLineEdit, public TObject {
 public:
  explicit TEdit(QWidget* parent = nullptr);

  QString Text() const { return text(); }
  void SetText(const QString& text);

  TNotifyEvent OnChange;

 private:
  int codeChanges_ = 0;
};
