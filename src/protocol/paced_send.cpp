#include "protocol/paced_send.h"

#include "midi/midi_output.h"
#include "protocol/pacing_clock.h"

void SendPacedMessage(TMidiOutput& port, const ParameterMessage& message,
                      const std::function<void()>& nearEnd) {
  const PacingPriority priority;
  port.PutLong(message.data(), static_cast<uint16_t>(message.size()));
  PacedWait(PacingClock::Current(), kPacingMilliseconds, nearEnd);
}
