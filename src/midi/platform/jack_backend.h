#pragma once

// JACK as MIDI service. MIDI input ports of other clients are the output
// devices, their MIDI output ports the input devices; opening a device
// registers a port of our own client and connects it. The server is never
// started by us: it is found through JACK_DEFAULT_SERVER as every client does.

#include <memory>
#include <string>

#include "midi/platform/midi_backend.h"

// The client name this backend asks the server for.
inline constexpr const char* kJackClientName = "TQX512 Config";

// Null when no JACK server runs or the client cannot be made; why then says
// "Cannot <what> - <reason>".
std::unique_ptr<MidiBackend> OpenJackMidiBackend(std::string& why);
