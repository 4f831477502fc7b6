#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

// The clock the pacing wait reads. It is monotonic, so a wait ends after its
// time even across midnight or when the wall clock is set back; tests replace it
// so that a 48-message transfer does not take 4.8 s.
class PacingClock {
 public:
  virtual ~PacingClock() = default;
  virtual std::chrono::nanoseconds Now() = 0;
  // Gives the processor away until about the given reading; a clock of
  // readings alone (a test's) need not.
  virtual void SleepUntil(std::chrono::nanoseconds) {}

  static PacingClock& Current();
  // Installs a replacement (not owned); nullptr restores the steady clock.
  static void Install(PacingClock* clock);
};

// Waits, without processing window messages, until a reading of the clock lies
// more than the given time after the first one: asleep until about a
// millisecond before, so the processor stays idle, then spinning the rest, so a
// late wake-up of the scheduler cannot stretch the wait. nearEnd, when given,
// runs once some 20 ms before the end (at once in a shorter wait), with the
// rest of the wait after it: work done there lengthens the wait only when it
// outlasts that.
void PacedWait(PacingClock& clock, uint32_t milliseconds,
               const std::function<void()>& nearEnd = {});
// The same, counted from an earlier reading (the moment a message was handed over).
void PacedWaitFrom(PacingClock& clock, std::chrono::nanoseconds start, uint32_t milliseconds,
                   const std::function<void()>& nearEnd = {});

// While it lives, the calling thread runs at the lowest real-time priority where
// the system grants it (root, or a user with a real-time limit, as audio users
// have): busy processors then delay neither the hand-over of a message nor the
// end of its wait. Elsewhere it changes nothing. Children started meanwhile do
// not inherit it.
class PacingPriority {
 public:
  PacingPriority();
  ~PacingPriority();
  PacingPriority(const PacingPriority&) = delete;
  PacingPriority& operator=(const PacingPriority&) = delete;

 private:
  bool raised_ = false;
  int policy_ = 0;
  int priority_ = 0;
};
