#include "tune/midi_tuning_rig.h"

#include "midi/midi_output.h"
#include "protocol/paced_send.h"

namespace tune {

void MidiTuningRig::SendParameter(const ParameterMessage& message) { SendPacedMessage(port_, message); }

void MidiTuningRig::SendShort(std::uint32_t message) {
  port_.PutShort(static_cast<BYTE>(message & 0xFF), static_cast<BYTE>(message >> 8 & 0x7F),
                 static_cast<BYTE>(message >> 16 & 0x7F));
}

}  // namespace tune
