#pragma once

#include <memory>

#include "midi/platform/midi_backend.h"

// Windows' own MIDI service. The ports call winmm themselves; this backend answers
// only what winmm's capabilities cannot: a device's name beyond 31 characters'
// worth of ANSI, who it is, and whether the devices have changed.
std::unique_ptr<MidiBackend> OpenWinmmMidiBackend();
