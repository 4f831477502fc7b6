#include "ui/controls.h"

#include "ui/user_handler.h"

TPanel::TPanel(QWidget* parent, const QColor& color) : QFrame(parent) {
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setLineWidth(1);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, color);
  setPalette(p);
}

TSpeedButton::TSpeedButton(QWidget* parent, const QIcon& glyph, const QString& hint)
    : QToolButton(parent) {
  setAutoRaise(true);
  setIcon(glyph);
  setIconSize(QSize(20, 20));
  setToolTip(hint);
  setFocusPolicy(Qt::NoFocus);
  connect(this, &QToolButton::clicked, this, [this] {
    ui::RunUserHandler([this] {
      if (OnClick) OnClick(this);
    });
  });
}

TButton::TButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
  connect(this, &QPushButton::clicked, this, [this] {
    ui::RunUserHandler([this] {
      if (OnClick) OnClick(this);
    });
  });
}
