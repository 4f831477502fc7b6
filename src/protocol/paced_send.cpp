#include "protocol/paced_send.h"

#include "midi/midi_output.h"
#include "protocol/pacing_clock.h"

void SendPacedMessage(TMidiOutput& port, const ParameterMessage& message,
                      const std::function<void()>& nearEnd) {
  const PacingPriority priority;
  // The wait counts from the hand-over, so its own cost does not add up over a
  // transfer and no two messages leave closer than the pacing time.
  PacingClock& clock = PacingClock::Current();
  const auto handedOver = clock.Now();
  port.PutLong(message.data(), static_cast<uint16_t>(message.size()));
  PacedWaitFrom(clock, handedOver, kPacingMilliseconds, nearEnd);
}
