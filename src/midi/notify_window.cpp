#include "midi/notify_window.h"

#include <QCoreApplication>
#include <QEvent>
#include <QObject>
#include <memory>
#include <mutex>
#include <unordered_map>

#include "ui/user_handler.h"

namespace {

QEvent::Type PostedType() {
  static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
  return type;
}

class PostedMessage final : public QEvent {
 public:
  explicit PostedMessage(const TMessage& message) : QEvent(PostedType()), message_(message) {}
  const TMessage& Message() const { return message_; }
  // Held back and posted again while a transfer starts (ui::EventHold).
  PostedMessage* clone() const override { return new PostedMessage(*this); }

 private:
  TMessage message_;
};

class NotifyWindow;

// Posting looks the window up under this lock, so a window cannot go away in
// the middle of a post from the callback thread.
struct Windows {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, NotifyWindow*> live;
  std::uintptr_t next = 0x1000;  // handles are never reused
};

Windows& AllWindows() {
  static Windows windows;
  return windows;
}

class NotifyWindow final : public QObject {
 public:
  explicit NotifyWindow(TWndMethod method) : method_(std::move(method)) {}

 protected:
  void customEvent(QEvent* event) override {
    if (event->type() != PostedType()) return;
    // The message was written under this lock on the posting thread; taking it
    // here orders that write before the read below.
    { std::lock_guard lock(AllWindows().mutex); }
    TMessage message = static_cast<PostedMessage*>(event)->Message();
    ui::RunUserHandler([&] { method_(message); });
  }

 private:
  TWndMethod method_;
};

}  // namespace

HWND AllocateHWnd(TWndMethod Method) {
  auto* window = new NotifyWindow(std::move(Method));
  Windows& windows = AllWindows();
  std::lock_guard lock(windows.mutex);
  const std::uintptr_t id = windows.next++;
  windows.live.emplace(id, window);
  return reinterpret_cast<HWND>(id);
}

void DeallocateHWnd(HWND Wnd) {
  NotifyWindow* window = nullptr;
  {
    Windows& windows = AllWindows();
    std::lock_guard lock(windows.mutex);
    auto found = windows.live.find(reinterpret_cast<std::uintptr_t>(Wnd));
    if (found == windows.live.end()) return;
    window = found->second;
    windows.live.erase(found);
  }
  delete window;  // drops its pending posted events
}

void DispatchPostedMessages(HWND Wnd) {
  NotifyWindow* window = nullptr;
  {
    Windows& windows = AllWindows();
    std::lock_guard lock(windows.mutex);
    auto found = windows.live.find(reinterpret_cast<std::uintptr_t>(Wnd));
    if (found == windows.live.end()) return;
    window = found->second;
  }
  QCoreApplication::sendPostedEvents(window, PostedType());
}

BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Windows& windows = AllWindows();
  std::lock_guard lock(windows.mutex);
  auto found = windows.live.find(reinterpret_cast<std::uintptr_t>(hWnd));
  if (found == windows.live.end()) return 0;
  QCoreApplication::postEvent(found->second, new PostedMessage(TMessage{Msg, wParam, lParam, 0}));
  return 1;
}
