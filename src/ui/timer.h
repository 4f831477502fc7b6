#pragma once

#include <QObject>
#include <QTimer>

#include "ui/tobject.h"

// A periodic timer on the GUI thread. Ticks run OnTimer like a user's input: an
// error is reported and the timer goes on.
class TTimer : public QObject, public TObject {
 public:
  explicit TTimer(QObject* parent = nullptr);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  int Interval() const { return interval_; }
  // Restarts the period when the timer runs.
  void SetInterval(int milliseconds);

  // One tick, as the timer delivers it.
  void Tick();

  TNotifyEvent OnTimer;

 private:
  void Restart();

  QTimer timer_;
  bool enabled_ = false;
  int interval_ = 1000;
};
