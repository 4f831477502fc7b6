#include "protocol/pacing_clock.h"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <timeapi.h>
#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002  // Windows 10 1803's SDK
#endif
#else
#include <pthread.h>
#include <sched.h>
#include <time.h>
#endif

#include <cerrno>
#include <thread>

namespace {

class SteadyClock : public PacingClock {
 public:
  std::chrono::nanoseconds Now() override {
    return std::chrono::steady_clock::now().time_since_epoch();
  }
  // To an absolute deadline: time lost between reading the clock and falling
  // asleep is not added to the wait.
  void SleepUntil(std::chrono::nanoseconds reading) override {
#ifdef __linux__
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(reading);
    const timespec deadline{static_cast<time_t>(seconds.count()),
                            static_cast<long>((reading - seconds).count())};
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
#elif defined(_WIN32)
    const std::chrono::nanoseconds left = reading - Now();
    if (left <= std::chrono::nanoseconds(0)) return;
    if (HANDLE timer = HighResolutionTimer()) {
      // Relative, in 100 ns units; negative means relative.
      LARGE_INTEGER due;
      due.QuadPart = -static_cast<LONGLONG>(left.count() / 100);
      if (SetWaitableTimer(timer, &due, 0, nullptr, nullptr, FALSE) &&
          WaitForSingleObject(timer, INFINITE) == WAIT_OBJECT_0) {
        return;
      }
    }
    // Older Windows: a millisecond tick, for the time of the sleep only.
    timeBeginPeriod(1);
    Sleep(static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(left).count()));
    timeEndPeriod(1);
#else
    std::this_thread::sleep_until(std::chrono::steady_clock::time_point(
        std::chrono::duration_cast<std::chrono::steady_clock::duration>(reading)));
#endif
  }

#ifdef _WIN32
 private:
  // One per thread: a waitable timer is waited on by the thread that set it.
  // Windows 10 1803 and later wake it within a fraction of a millisecond
  // without raising the system's timer rate; null where it is not there.
  static HANDLE HighResolutionTimer() {
    struct Timer {
      HANDLE handle = CreateWaitableTimerExW(nullptr, nullptr,
                                             CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                             TIMER_ALL_ACCESS);
      ~Timer() {
        if (handle) CloseHandle(handle);
      }
    };
    thread_local Timer timer;
    return timer.handle;
  }
#endif
};

SteadyClock steadyClock;
PacingClock* current = nullptr;

}  // namespace

PacingClock& PacingClock::Current() { return current ? *current : steadyClock; }

void PacingClock::Install(PacingClock* clock) { current = clock; }

namespace {

// now: a reading just taken.
void WaitUntil(PacingClock& clock, std::chrono::nanoseconds now, std::chrono::nanoseconds target,
               const std::function<void()>& nearEnd) {
  constexpr std::chrono::nanoseconds kSpin = std::chrono::milliseconds(1);
  // Room for the work for the next message (a repaint of the progress gauge
  // takes milliseconds on a cold cache), so that it never reaches the spin.
  constexpr std::chrono::nanoseconds kWorkLead = std::chrono::milliseconds(20);
  if (nearEnd) {
    if (target - now > kWorkLead) {
      clock.SleepUntil(target - kWorkLead);
      now = clock.Now();
    }
    nearEnd();
    now = clock.Now();
  }
  while (now <= target) {
    if (target - now > kSpin) clock.SleepUntil(target - kSpin);
    now = clock.Now();
  }
}

}  // namespace

void PacedWait(PacingClock& clock, uint32_t milliseconds, const std::function<void()>& nearEnd) {
  const std::chrono::nanoseconds now = clock.Now();
  WaitUntil(clock, now, now + std::chrono::milliseconds(milliseconds), nearEnd);
}

void PacedWaitFrom(PacingClock& clock, std::chrono::nanoseconds start, uint32_t milliseconds,
                   const std::function<void()>& nearEnd) {
  WaitUntil(clock, clock.Now(), start + std::chrono::milliseconds(milliseconds), nearEnd);
}

#ifdef __linux__
PacingPriority::PacingPriority() {
  sched_param param{};
  if (pthread_getschedparam(pthread_self(), &policy_, &param) != 0) return;
  priority_ = param.sched_priority;
  const int base = policy_ & ~SCHED_RESET_ON_FORK;
  if (base == SCHED_FIFO || base == SCHED_RR) return;  // already real-time
  sched_param raised{};
  raised.sched_priority = sched_get_priority_min(SCHED_FIFO);
  raised_ = pthread_setschedparam(pthread_self(), SCHED_FIFO | SCHED_RESET_ON_FORK, &raised) == 0;
}

PacingPriority::~PacingPriority() {
  if (!raised_) return;
  sched_param param{};
  param.sched_priority = priority_;
  pthread_setschedparam(pthread_self(), policy_, &param);
}
#elif defined(_WIN32)
// The highest priority of the process's class, for the transfer only.
PacingPriority::PacingPriority() {
  priority_ = GetThreadPriority(GetCurrentThread());
  if (priority_ == THREAD_PRIORITY_ERROR_RETURN || priority_ >= THREAD_PRIORITY_TIME_CRITICAL) {
    return;
  }
  raised_ = SetThreadPriority(GetCurrentThread(), THREAD_PRIORITY_TIME_CRITICAL) != 0;
}

PacingPriority::~PacingPriority() {
  if (raised_) SetThreadPriority(GetCurrentThread(), priority_);
}
#else
PacingPriority::PacingPriority() = default;
PacingPriority::~PacingPriority() = default;
#endif
