#pragma once

// What the ALSA and JACK backends share: the thread that delivers their
// callbacks, and the capability records of their devices.

#include <sys/poll.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "midi/platform/mmsystem.h"

// The thread of a backend. It sleeps in poll() on the backend's descriptors and
// on an eventfd, runs the commands other threads hand it (in order), then calls
// the backend's serve function. Closing a port goes through Run, so it returns
// only after every callback queued before it has run.
class BackendThread {
 public:
  BackendThread();
  ~BackendThread();
  BackendThread(const BackendThread&) = delete;
  BackendThread& operator=(const BackendThread&) = delete;

  // Starts the thread; watched descriptors are polled for input besides the
  // wake-up. False with why set when the thread cannot be made.
  bool Start(std::vector<pollfd> watched, std::function<void()> serve, std::string& why);
  // Runs what is queued, then ends the thread. Not from the thread itself.
  void Stop();

  // Runs command on the thread and waits for it; at once when called on the
  // thread (a callback must not wait for itself) or when it is not running.
  void Run(const std::function<void()>& command);
  // Queues command for the thread without waiting.
  void Post(std::function<void()> command);
  // Makes the thread serve soon. One write() to an eventfd: no lock, no
  // allocation, so a real-time thread may call it.
  void Wake() noexcept;
  // From the thread itself: serve again after delay at the latest.
  void ServeAfter(std::chrono::milliseconds delay);
  bool OnThread() const noexcept;

 private:
  void Loop(std::vector<pollfd> fds);
  void RunCommands();

  int wake_fd_ = -1;
  std::function<void()> serve_;
  std::thread thread_;
  std::atomic<std::thread::id> id_{};
  std::atomic<bool> running_{false};
  // Thread only: when to serve without a wake-up; none when not set.
  std::optional<std::chrono::steady_clock::time_point> serve_at_;

  std::mutex mutex_;
  std::condition_variable finished_changed_;
  std::deque<std::function<void()>> commands_;
  uint64_t queued_ = 0;
  uint64_t finished_ = 0;
  bool stopping_ = false;
};

// Capabilities of a device of a real service; the name is cut to the 31 bytes
// the record holds, never inside a UTF-8 character.
MIDIOUTCAPSA PortOutCaps(std::string_view name, WORD technology);
MIDIINCAPSA PortInCaps(std::string_view name);
