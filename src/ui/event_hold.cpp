#include "ui/event_hold.h"

#include <QApplication>
#include <QEvent>
#include <QWidget>
#include <QWindow>

namespace ui {

EventHold::EventHold(QWidget* only) : only_(only) { qApp->installEventFilter(this); }

EventHold::~EventHold() {
  qApp->removeEventFilter(this);
  for (auto& [receiver, event] : posted_) {
    if (receiver) QCoreApplication::postEvent(receiver, event.release());
  }
  for (const QPointer<QWidget>& widget : closes_) {
    if (widget) QMetaObject::invokeMethod(widget, [widget] { widget->close(); }, Qt::QueuedConnection);
  }
}

bool EventHold::Passes(QObject* receiver) const {
  if (auto* window = qobject_cast<QWindow*>(receiver)) return window == only_->windowHandle();
  for (QObject* object = receiver; object; object = object->parent()) {
    if (object == only_) return true;
  }
  return false;
}

bool EventHold::eventFilter(QObject* receiver, QEvent* event) {
  if (Passes(receiver)) return false;
  switch (event->type()) {
    case QEvent::Timer:
      return true;
    case QEvent::Close:
      if (auto* window = qobject_cast<QWindow*>(receiver)) {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
          if (widget->windowHandle() == window) closes_.emplace_back(widget);
        }
      } else if (auto* widget = qobject_cast<QWidget*>(receiver)) {
        closes_.emplace_back(widget);
      }
      event->ignore();
      return true;
    default:
      // The program's own events (the ports' done notices) are of user types.
      if (event->type() >= QEvent::User && event->type() <= QEvent::MaxUser) {
        posted_.emplace_back(receiver, event->clone());
        return true;
      }
      return false;  // Qt's own housekeeping: layout, paint, deferred deletes
  }
}

}  // namespace ui
