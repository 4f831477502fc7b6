#pragma once

// What the WinMM-shaped capabilities cannot carry: a device's whole name and who
// it is. szPname is cut to 31 bytes, so two long names with the same start, or
// two identical interfaces, look alike there.

#include <string>

#include "midi/platform/mmsystem.h"

struct MidiDeviceInfo {
  std::string name;      // the whole name, as the service shows it
  std::string identity;  // the same text for the same device for as long as it is there
  std::string address;   // as the service's own tools print it ("20:0" on ALSA); may be empty
};

// Like midiOutGetDevCapsA / midiInGetDevCapsA, for the same device numbers.
MMRESULT midiOutGetDevInfo(UINT device, MidiDeviceInfo& info);
MMRESULT midiInGetDevInfo(UINT device, MidiDeviceInfo& info);
