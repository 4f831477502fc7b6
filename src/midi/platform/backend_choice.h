#pragma once

#include <memory>
#include <string>

#include "midi/platform/midi_backend.h"

// The MIDI service for this run: WinMM on Windows. Elsewhere the ALSA sequencer
// when it opens, else JACK when a server runs (never starting one), else "none".
// When it comes to none, why holds what failed, for the start-up report.
std::unique_ptr<MidiBackend> ChooseMidiBackend(std::string* why = nullptr);
