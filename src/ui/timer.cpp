#include "ui/timer.h"

#include "ui/user_handler.h"

TTimer::TTimer(QObject* parent) : QObject(parent) {
  timer_.setTimerType(Qt::PreciseTimer);
  connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Restart();
}

void TTimer::SetInterval(int milliseconds) {
  if (milliseconds == interval_) return;
  interval_ = milliseconds;
  Restart();
}

void TTimer::Tick() {
  ui::RunUserHandler([this] {
    if (OnTimer) OnTimer(this);
  });
}

void TTimer::Restart() {
  timer_.stop();
  // An interval of 0 stops the timer, as on the original platform.
  if (enabled_ && interval_ > 0) timer_.start(interval_);
}
