#pragma once

#include <QObject>
#include <QPointer>
#include <memory>
#include <vector>

class QEvent;
class QWidget;
class QWindow;

namespace ui {

// While it lives, the event loop may run for one window only (to map and paint
// it) and nothing else of the program's runs: timer ticks are skipped, a close
// request and the program's own posted events wait until the hold ends and are
// then queued again, to run once the event loop is back. Input stays in the
// window system's queue when the loop runs with ExcludeUserInputEvents.
class EventHold : public QObject {
 public:
  explicit EventHold(QWidget* only);
  EventHold(const EventHold&) = delete;
  EventHold& operator=(const EventHold&) = delete;
  ~EventHold() override;

 protected:
  bool eventFilter(QObject* receiver, QEvent* event) override;

 private:
  bool Passes(QObject* receiver) const;

  QWidget* only_;
  std::vector<QPointer<QWidget>> closes_;
  std::vector<std::pair<QPointer<QObject>, std::unique_ptr<QEvent>>> posted_;
};

}  // namespace ui
