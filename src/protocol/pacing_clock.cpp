#include "protocol/pacing_clock.h"

#include <thread>

namespace {

class SteadyClock : public PacingClock {
 public:
  std::chrono::nanoseconds Now() override {
    return std::chrono::steady_clock::now().time_since_epoch();
  }
  void Sleep(std::chrono::nanoseconds time) override { std::this_thread::sleep_for(time); }
};

SteadyClock steadyClock;
PacingClock* current = nullptr;

}  // namespace

PacingClock& PacingClock::Current() { return current ? *current : steadyClock; }

void PacingClock::Install(PacingClock* clock) { current = clock; }

void PacedWait(PacingClock& clock, uint32_t milliseconds) {
  constexpr std::chrono::nanoseconds kSpin = std::chrono::milliseconds(1);
  std::chrono::nanoseconds now = clock.Now();
  const std::chrono::nanoseconds target = now + std::chrono::milliseconds(milliseconds);
  while (now <= target) {
    if (target - now > kSpin) clock.Sleep(target - now - kSpin);
    now = clock.Now();
  }
}
