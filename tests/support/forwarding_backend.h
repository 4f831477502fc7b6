#pragma once

#include <memory>
#include <utility>

#include "midi/platform/device_info.h"
#include "midi/platform/midi_backend.h"

namespace testing_support {

// A MIDI service that hands every call to another one; a test overrides the
// calls it wants to watch or answer itself.
class ForwardingMidiBackend : public MidiBackend {
 public:
  explicit ForwardingMidiBackend(std::unique_ptr<MidiBackend> inner) : inner_(std::move(inner)) {}

  std::string Name() const override { return inner_->Name(); }
  unsigned long DeviceGeneration() const override { return inner_->DeviceGeneration(); }
  void Trace(std::string_view function) override { inner_->Trace(function); }
  UINT OutGetNumDevs() override { return inner_->OutGetNumDevs(); }
  MMRESULT OutGetDevCaps(UINT d, MIDIOUTCAPSA& caps) override { return inner_->OutGetDevCaps(d, caps); }
  MMRESULT OutGetDevInfo(UINT d, MidiDeviceInfo& info) override { return inner_->OutGetDevInfo(d, info); }
  MMRESULT OutOpen(UINT d, MidiOutClient& c, std::unique_ptr<Port>& p) override {
    return inner_->OutOpen(d, c, p);
  }
  MMRESULT OutClose(Port& p) override { return inner_->OutClose(p); }
  MMRESULT OutShortMsg(Port& p, DWORD m) override { return inner_->OutShortMsg(p, m); }
  MMRESULT OutPrepareHeader(Port& p, MIDIHDR& h) override { return inner_->OutPrepareHeader(p, h); }
  MMRESULT OutLongMsg(Port& p, MIDIHDR& h) override { return inner_->OutLongMsg(p, h); }
  MMRESULT OutUnprepareHeader(Port& p, MIDIHDR& h) override { return inner_->OutUnprepareHeader(p, h); }
  MMRESULT OutSetVolume(UINT d, DWORD v) override { return inner_->OutSetVolume(d, v); }
  UINT InGetNumDevs() override { return inner_->InGetNumDevs(); }
  MMRESULT InGetDevCaps(UINT d, MIDIINCAPSA& caps) override { return inner_->InGetDevCaps(d, caps); }
  MMRESULT InGetDevInfo(UINT d, MidiDeviceInfo& info) override { return inner_->InGetDevInfo(d, info); }
  MMRESULT InOpen(UINT d, MidiInClient& c, std::unique_ptr<Port>& p) override {
    return inner_->InOpen(d, c, p);
  }
  MMRESULT InClose(Port& p) override { return inner_->InClose(p); }
  MMRESULT InPrepareHeader(Port& p, MIDIHDR& h) override { return inner_->InPrepareHeader(p, h); }
  MMRESULT InUnprepareHeader(Port& p, MIDIHDR& h) override { return inner_->InUnprepareHeader(p, h); }
  MMRESULT InAddBuffer(Port& p, MIDIHDR& h) override { return inner_->InAddBuffer(p, h); }
  MMRESULT InStart(Port& p) override { return inner_->InStart(p); }
  MMRESULT InStop(Port& p) override { return inner_->InStop(p); }
  MMRESULT InReset(Port& p) override { return inner_->InReset(p); }

 private:
  std::unique_ptr<MidiBackend> inner_;
};

}  // namespace testing_support
