#include "midi/platform/backend_support.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <system_error>

BackendThread::BackendThread() : wake_fd_(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {}

BackendThread::~BackendThread() {
  Stop();
  if (wake_fd_ >= 0) close(wake_fd_);
}

bool BackendThread::Start(std::vector<pollfd> watched, std::function<void()> serve,
                          std::string& why) {
  if (wake_fd_ < 0) {
    why = std::string("Cannot create wake-up descriptor - ") + std::strerror(errno);
    return false;
  }
  serve_ = std::move(serve);
  watched.insert(watched.begin(), pollfd{wake_fd_, POLLIN, 0});
  try {
    thread_ = std::thread([this, fds = std::move(watched)]() mutable {
      id_.store(std::this_thread::get_id());
      Loop(std::move(fds));
    });
  } catch (const std::system_error& error) {
    why = std::string("Cannot start thread - ") + error.what();
    return false;
  }
  id_.store(thread_.get_id());
  running_.store(true);
  return true;
}

void BackendThread::Stop() {
  if (!thread_.joinable()) return;
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  Wake();
  thread_.join();
  running_.store(false);
}

bool BackendThread::OnThread() const noexcept { return id_.load() == std::this_thread::get_id(); }

void BackendThread::Wake() noexcept {
  const uint64_t one = 1;
  // Cannot fill up: the counter only saturates after 2^64 - 2 wake-ups.
  if (write(wake_fd_, &one, sizeof one) < 0) {
  }
}

void BackendThread::ServeAfter(std::chrono::milliseconds delay) {
  const auto at = std::chrono::steady_clock::now() + delay;
  if (!serve_at_ || at < *serve_at_) serve_at_ = at;
}

void BackendThread::Run(const std::function<void()>& command) {
  if (OnThread() || !running_.load()) {
    command();
    return;
  }
  std::unique_lock lock(mutex_);
  commands_.emplace_back([&command] { command(); });
  const uint64_t ticket = ++queued_;
  lock.unlock();
  Wake();
  lock.lock();
  finished_changed_.wait(lock, [&] { return finished_ >= ticket; });
}

void BackendThread::Post(std::function<void()> command) {
  if (!running_.load()) {
    command();
    return;
  }
  {
    std::lock_guard lock(mutex_);
    commands_.push_back(std::move(command));
    ++queued_;
  }
  Wake();
}

void BackendThread::RunCommands() {
  std::unique_lock lock(mutex_);
  while (!commands_.empty()) {
    std::function<void()> command = std::move(commands_.front());
    commands_.pop_front();
    lock.unlock();
    command();
    lock.lock();
    ++finished_;
    finished_changed_.notify_all();
  }
}

void BackendThread::Loop(std::vector<pollfd> fds) {
  for (;;) {
    int timeout = -1;
    if (serve_at_) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(
          *serve_at_ - std::chrono::steady_clock::now());
      timeout = static_cast<int>(std::max<std::chrono::milliseconds::rep>(left.count(), 0));
      serve_at_.reset();  // serve_ sets it again when it must wait on
    }
    if (poll(fds.data(), fds.size(), timeout) < 0 && errno != EINTR) {
      // Nothing to wait on any more: serve on wake-ups only rather than spin.
      fds.resize(1);
    }
    if (fds[0].revents & POLLIN) {
      uint64_t count;
      if (read(wake_fd_, &count, sizeof count) < 0) {
      }
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents & (POLLERR | POLLNVAL | POLLHUP)) fds[i].fd = -1;  // poll skips it
    }
    RunCommands();
    if (serve_) serve_();
    std::lock_guard lock(mutex_);
    if (stopping_ && commands_.empty()) return;
  }
}

namespace {

void CopyProductName(char (&target)[MAXPNAMELEN], std::string_view name) {
  size_t count = std::min<size_t>(name.size(), MAXPNAMELEN - 1);
  // Back off over continuation bytes so that no character is cut in half.
  if (count < name.size()) {
    while (count > 0 && (static_cast<unsigned char>(name[count]) & 0xC0) == 0x80) --count;
  }
  std::memcpy(target, name.data(), count);
  target[count] = '\0';
}

}  // namespace

MIDIOUTCAPSA PortOutCaps(std::string_view name, WORD technology) {
  MIDIOUTCAPSA caps{};
  caps.wMid = 0xFFFF;  // no manufacturer registered: "unmapped"
  caps.wPid = 0xFFFF;
  caps.vDriverVersion = 0x0100;
  CopyProductName(caps.szPname, name);
  caps.wTechnology = technology;
  caps.wChannelMask = 0xFFFF;
  return caps;
}

MIDIINCAPSA PortInCaps(std::string_view name) {
  MIDIINCAPSA caps{};
  caps.wMid = 0xFFFF;
  caps.wPid = 0xFFFF;
  caps.vDriverVersion = 0x0100;
  CopyProductName(caps.szPname, name);
  return caps;
}
