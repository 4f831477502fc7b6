#include "midi/platform/device_info.h"

#include "midi/platform/midi_backend.h"

MMRESULT midiOutGetDevInfo(UINT device, MidiDeviceInfo& info) {
  MidiBackend& backend = CurrentMidiBackend();
  backend.Trace("midiOutGetDevInfo");
  if (device >= backend.OutGetNumDevs()) return MMSYSERR_BADDEVICEID;
  info = {};
  return backend.OutGetDevInfo(device, info);
}

MMRESULT midiInGetDevInfo(UINT device, MidiDeviceInfo& info) {
  MidiBackend& backend = CurrentMidiBackend();
  backend.Trace("midiInGetDevInfo");
  if (device >= backend.InGetNumDevs()) return MMSYSERR_BADDEVICEID;
  info = {};
  return backend.InGetDevInfo(device, info);
}
