#include "protocol/pacing_clock.h"

namespace {

class SteadyClock : public PacingClock {
 public:
  std::chrono::nanoseconds Now() override {
    return std::chrono::steady_clock::now().time_since_epoch();
  }
};

SteadyClock steadyClock;
PacingClock* current = nullptr;

}  // namespace

PacingClock& PacingClock::Current() { return current ? *current : steadyClock; }

void PacingClock::Install(PacingClock* clock) { current = clock; }

void SpinWait(PacingClock& clock, uint32_t milliseconds) {
  const std::chrono::nanoseconds target = clock.Now() + std::chrono::milliseconds(milliseconds);
  while (clock.Now() <= target) {
  }
}
