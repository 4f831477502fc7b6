#pragma once

// The ALSA sequencer as MIDI service. Writable ports of other clients are the
// output devices, readable ones the input devices, in (client, port) order;
// opening a device connects a port of our own client to it.

#include <memory>
#include <string>

#include "midi/platform/midi_backend.h"

// The product name of the sequencer client this backend opens.
inline constexpr const char* kAlsaClientName = "TQX512 Config";

// Null when the sequencer cannot be opened (no /dev/snd/seq); why then says
// "Cannot <what> - <reason>".
std::unique_ptr<MidiBackend> OpenAlsaMidiBackend(std::string& why);
