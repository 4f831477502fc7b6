#pragma once

// The ALSA sequencer as MIDI service. Writable ports of other clients are the
// output devices, readable ones the input devices, in (client, port) order;
// opening a device connects a port of our own client to it.

#include <memory>
#include <string>
#include <string_view>

#include "midi/platform/midi_backend.h"

// The product name of the sequencer client this backend opens.
inline constexpr const char* kAlsaClientName = "TQX512 Config";

// Who a sound card is, for telling two identical interfaces apart: its USB
// serial number when it has one, else the USB path in its long name ("... at
// usb-0000:00:14.0-2, full speed"), which stays the same for the same socket;
// lasting says so. Else its id ("VirMIDI", "Cable_1"), which the plugging order
// may give to another card.
std::string AlsaCardIdentity(std::string_view serial, std::string_view longname,
                             std::string_view id, bool& lasting);

// Null when the sequencer cannot be opened (no /dev/snd/seq); why then says
// "Cannot <what> - <reason>".
std::unique_ptr<MidiBackend> OpenAlsaMidiBackend(std::string& why);
