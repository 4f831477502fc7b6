#include "app/form1.h"
#include "midi/midi_output.h"
#include "protocol/pacing_clock.h"
#include "protocol/parameter_message.h"

void TForm1::SendParameter(int device, int parameter, int value,
                           const std::function<void()>& nearEnd) {
  const PacingPriority priority;
  const ParameterMessage message = BuildParameterMessage(device, parameter, value);
  MidiOutput1->PutLong(message.data(), static_cast<uint16_t>(message.size()));
  PacingWait(100, nearEnd);
}

void TForm1::PacingWait(uint32_t milliseconds, const std::function<void()>& nearEnd) {
  PacedWait(PacingClock::Current(), milliseconds, nearEnd);
}
