// The parameter message bytes and the pacing wait.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <deque>

#include "protocol/pacing_clock.h"
#include "protocol/parameter_map.h"
#include "protocol/parameter_message.h"
#include "support/test_support.h"

namespace {

using testing_support::Hex;
using namespace std::chrono_literals;

std::string Message(int device, int parameter, int value) {
  const ParameterMessage m = BuildParameterMessage(device, parameter, value);
  return Hex(m.data(), m.size());
}

TEST(ParameterMessage, CarriesDeviceParameterAndValueNibbles) {
  EXPECT_EQ(Message(0, 41, 0xA5), "F0 70 7B 00 29 05 0A F7");
  EXPECT_EQ(Message(3, param::CAN, 15), "F0 70 7B 03 20 0F 00 F7");
}

TEST(ParameterMessage, DeviceKeepsOnlyItsLowFourBits) {
  // Device ID positions 16 and 17 on screen, sent as position - 1.
  EXPECT_EQ(Message(16 - 1, 32, 0), "F0 70 7B 0F 20 00 00 F7");
  EXPECT_EQ(Message(17 - 1, 32, 0), "F0 70 7B 00 20 00 00 F7");
}

TEST(ParameterMessage, OnlyTheLowEightBitsOfTheValueTravel) {
  EXPECT_EQ(Message(0, 35, -1), "F0 70 7B 00 23 0F 0F F7");
  EXPECT_EQ(Message(0, 35, -2), "F0 70 7B 00 23 0E 0F F7");
  EXPECT_EQ(Message(0, 35, 256), "F0 70 7B 00 23 00 00 F7");
  EXPECT_EQ(Message(0, 64, 255), "F0 70 7B 00 40 0F 0F F7");
}

TEST(ParameterMessage, WriteToFlashAndParametersAbove127) {
  EXPECT_EQ(Message(0, param::COMMAND, param::WRITE_TO_FLASH), "F0 70 7B 00 7F 04 03 F7");
  EXPECT_EQ(Message(0, 128, 1), "F0 70 7B 00 00 01 00 F7");
}

// A clock that returns scripted readings, then keeps the last one moving by 1 ms.
class ScriptedClock : public PacingClock {
 public:
  explicit ScriptedClock(std::deque<std::chrono::milliseconds> readings, bool sleeping = false)
      : readings_(std::move(readings)), sleeping_(sleeping) {}
  std::chrono::nanoseconds Now() override {
    ++reads;
    if (!readings_.empty()) {
      last_ = readings_.front();
      readings_.pop_front();
    } else {
      last_ += 1ms;
    }
    return last_;
  }
  // A sleeping clock moves on to the end of each sleep.
  void SleepUntil(std::chrono::nanoseconds reading) override {
    sleeps.push_back(std::chrono::duration_cast<std::chrono::milliseconds>(reading));
    if (sleeping_)
      readings_.push_front(std::chrono::duration_cast<std::chrono::milliseconds>(reading));
  }
  int reads = 0;
  std::vector<std::chrono::milliseconds> sleeps;  // until these readings

 private:
  std::deque<std::chrono::milliseconds> readings_;
  std::chrono::milliseconds last_{0};
  bool sleeping_;
};

TEST(PacingWait, EndsAtTheFirstReadingLaterThanTheTarget) {
  // 10:00:00.950 + 100 ms: 10:00:01.050 itself is not yet later.
  const auto start = 36'000'950ms;
  ScriptedClock clock({start, start + 50ms, start + 100ms, start + 101ms, start + 500ms});
  PacedWait(clock, 100);
  EXPECT_EQ(clock.reads, 4);
}

TEST(PacingWait, ZeroEndsAtTheFirstReadingAfterTheStart) {
  ScriptedClock clock({5ms, 5ms, 5ms, 6ms});
  PacedWait(clock, 0);
  EXPECT_EQ(clock.reads, 4);
}

TEST(PacingWait, EndsAcrossTheEndOfTheDay) {
  // The old time-of-day reading restarted at midnight and never ended such a wait.
  const auto lastMillisecondOfDay = 86'399'999ms;
  ScriptedClock clock({lastMillisecondOfDay, lastMillisecondOfDay + 100ms,
                       lastMillisecondOfDay + 101ms});
  PacedWait(clock, 100);
  EXPECT_EQ(clock.reads, 3);
}

TEST(PacingWait, SleepsUntilAMillisecondBeforeTheEndThenSpins) {
  ScriptedClock clock({1000ms}, true);
  PacedWait(clock, 100);
  EXPECT_EQ(clock.sleeps, std::vector<std::chrono::milliseconds>{1099ms});
  EXPECT_EQ(clock.reads, 1 + 1 + 2);  // start, after the sleep at 1099, spun to 1101
}

TEST(PacingWait, WorkForTheNextMessageRunsOnceWellBeforeTheEndThenTheWaitGoesOn) {
  ScriptedClock sleeping({1000ms}, true);
  std::vector<int> readsAtWork;
  PacedWait(sleeping, 100, [&] { readsAtWork.push_back(sleeping.reads); });
  EXPECT_EQ(readsAtWork, std::vector<int>{2});  // after the reading at 1080
  EXPECT_EQ(sleeping.sleeps, (std::vector<std::chrono::milliseconds>{1080ms, 1099ms}));
  // Work that outlasts its room only stretches the wait by the excess.
  ScriptedClock slowWork({0ms, 80ms, 130ms});
  PacedWait(slowWork, 100, [] {});
  EXPECT_EQ(slowWork.reads, 3);
  ScriptedClock jumping({0ms, 500ms});  // the wait is over at the first look
  PacedWait(jumping, 100, [&] { readsAtWork.push_back(jumping.reads); });
  EXPECT_EQ(readsAtWork, (std::vector<int>{2, 2}));
}

TEST(PacingWait, CountedFromTheHandOverItsCostDoesNotAddUp) {
  // Handed over at 1000; the hand-over took 4 ms, the next goes at 1100, not 1104.
  ScriptedClock clock({1004ms}, true);
  PacedWaitFrom(clock, 1000ms, 100);
  EXPECT_EQ(clock.sleeps, std::vector<std::chrono::milliseconds>{1099ms});
}

class Probe : public QObject {
 public:
  bool event(QEvent* e) override {
    if (e->type() == QEvent::User) ++delivered;
    return QObject::event(e);
  }
  int delivered = 0;
};

TEST(PacingWait, RealWaitLastsItsTimeAndProcessesNoMessages) {
  Probe probe;
  QCoreApplication::postEvent(&probe, new QEvent(QEvent::User));
  const auto before = std::chrono::steady_clock::now();
  PacedWait(PacingClock::Current(), 100);
  EXPECT_GE(std::chrono::steady_clock::now() - before, 100ms);
  EXPECT_EQ(probe.delivered, 0);
  QCoreApplication::sendPostedEvents(&probe);
  EXPECT_EQ(probe.delivered, 1);
}

}  // namespace
