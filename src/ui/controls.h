#pragma once

// The plain controls: captions, containers and buttons. Changing their caption,
// enabled or visible state runs nothing.

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>

#include "ui/tobject.h"

class TLabel : public QLabel, public TObject {
 public:
  explicit TLabel(const QString& caption, QWidget* parent = nullptr) : QLabel(caption, parent) {}
  QString Caption() const { return text(); }
  void SetCaption(const QString& caption) { setText(caption); }
};

// A container with a sunken bevel, filled with its colour.
class TPanel : public QFrame, public TObject {
 public:
  explicit TPanel(QWidget* parent = nullptr, const QColor& color = QColor(201, 201, 201));
};

class TGroupBox : public QGroupBox, public TObject {
 public:
  explicit TGroupBox(const QString& caption, QWidget* parent = nullptr)
      : QGroupBox(caption, parent) {}
};

// A flat button with a picture and a hint.
class TSpeedButton : public QToolButton, public TObject {
 public:
  TSpeedButton(QWidget* parent, const QIcon& glyph, const QString& hint);
  QString Hint() const { return toolTip(); }
  TNotifyEvent OnClick;
};

class TButton : public QPushButton, public TObject {
 public:
  explicit TButton(const QString& caption, QWidget* parent = nullptr);
  QString Caption() const { return text(); }
  void SetCaption(const QString& caption) { setText(caption); }
  TNotifyEvent OnClick;
};
