#include "ui/up_down.h"

#include <QKeyEvent>
#include <QToolButton>
#include <QVBoxLayout>
#include <algorithm>

#include "ui/edit.h"
#include "ui/user_handler.h"

TUpDown::TUpDown(QWidget* parent, int min, int max, int position)
    : QWidget(parent),
      up_(new QToolButton(this)),
      down_(new QToolButton(this)),
      min_(min),
      max_(max),
      position_(static_cast<short>(std::clamp(position, min, max))) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(0, 0, 0, 0);
  layout->setSpacing(0);
  for (QToolButton* button : {up_, down_}) {
    button->setArrowType(button == up_ ? Qt::UpArrow : Qt::DownArrow);
    button->setAutoRepeat(true);
    button->setFocusPolicy(Qt::NoFocus);
    button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
    button->setIconSize(QSize(6, 6));
    layout->addWidget(button);
  }
  connect(up_, &QToolButton::clicked, this, [this] { ui::RunUserHandler([this] { Step(1); }); });
  connect(down_, &QToolButton::clicked, this,
          [this] { ui::RunUserHandler([this] { Step(-1); }); });
}

void TUpDown::Associate(TEdit* edit) {
  edit_ = edit;
  setParent(edit->parentWidget());
  const QRect r = edit->geometry();
  setGeometry(r.right() + 1, r.top(), 15, r.height());
  edit->installEventFilter(this);
  connect(edit, &QLineEdit::textEdited, this, [this](const QString& text) {
    ui::RunUserHandler([this, text] { TextTyped(text); });
  });
  connect(edit, &QLineEdit::editingFinished, this,
          [this] { ui::RunUserHandler([this] { ShowPosition(); }); });
  ShowPosition();
}

void TUpDown::SetPosition(int position) {
  if (MoveTo(position)) ShowPosition();
}

void TUpDown::Step(int delta) {
  if (MoveTo(position_ + delta)) ShowPosition();
  if (OnClick) OnClick(this);
}

bool TUpDown::MoveTo(int position) {
  position = std::clamp(position, min_, max_);
  if (position == position_) return false;
  bool allow = true;
  if (OnChanging) OnChanging(this, allow);
  if (!allow) return false;
  position_ = static_cast<short>(position);
  return true;
}

void TUpDown::ShowPosition() {
  if (edit_) edit_->SetText(QString::number(position_));
}

void TUpDown::TextTyped(const QString& text) {
  bool ok = false;
  const int typed = text.trimmed().toInt(&ok);
  // Typing moves the position and runs no handler: a live send from here would
  // go out for every keystroke ("1", "10", "100"), each with its pacing wait.
  if (ok) position_ = static_cast<short>(std::clamp(typed, min_, max_));
}

bool TUpDown::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::KeyPress && isEnabled()) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key == Qt::Key_Up || key == Qt::Key_Down) {
      ui::RunUserHandler([this, key] { Step(key == Qt::Key_Up ? 1 : -1); });
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}
