#pragma once

// The seam between the MIDI API of mmsystem.h and the services that move the
// bytes (ALSA sequencer, JACK, none, virtual). A backend only moves bytes and
// reports back; handle checks, header flags and callback dispatch stay in
// mmsystem.cpp.

#include <memory>
#include <string>
#include <string_view>

#include "midi/platform/device_info.h"
#include "midi/platform/mmsystem.h"

// Where a backend reports for one open output device. Called on the backend's own
// thread, never while the backend holds a lock that its Close waits on.
class MidiOutClient {
 public:
  // The backend has sent the whole header and no longer touches it.
  virtual void Done(MIDIHDR* header) = 0;
  // The same, but the bytes reached no device: it went while they were queued.
  virtual void Undelivered(MIDIHDR* header, MMRESULT why) = 0;

 protected:
  ~MidiOutClient() = default;
};

// Where a backend reports for one open input device, on the backend's own thread.
class MidiInClient {
 public:
  // A complete short message: status in bits 0-7, data in bits 8-15 and 16-23.
  virtual void Data(DWORD message, DWORD timestamp) = 0;
  // An added buffer comes back with dwBytesRecorded set (also on reset, possibly 0).
  virtual void LongData(MIDIHDR* header, DWORD timestamp) = 0;
  // An added buffer comes back holding an incomplete SysEx message.
  virtual void LongError(MIDIHDR* header, DWORD timestamp) = 0;
  // An invalid short message.
  virtual void Error(DWORD message, DWORD timestamp) = 0;

 protected:
  ~MidiInClient() = default;
};

// One MIDI service. Device numbers given to it are already checked against its
// count (MIDI_MAPPER is passed through for output); handles are checked too.
// Timestamps are milliseconds since the input was started.
//
// Rules every backend keeps:
// - Done/LongData/LongError/Data/Error come from a thread of the backend.
// - OutClose and InClose return only when no callback for that port is running
//   or pending; headers still being sent are reported done first.
// - InReset reports every added buffer back before it returns; InClose with
//   buffers still added fails with MIDIERR_STILLPLAYING.
// - The output mapper (MIDI_MAPPER) is answered with MOD_MAPPER capabilities
//   whenever there is an output device: the ports look at it before device 0.
// - A failure of the service itself is returned as MidiErrorCode("Cannot <what> - <why>").
class MidiBackend {
 public:
  // A backend's record of one open device; the handle owns it until closed.
  class Port {
   public:
    virtual ~Port() = default;
  };

  virtual ~MidiBackend() = default;

  virtual std::string Name() const = 0;
  // A number that changes whenever devices may have come or gone, so that lists
  // of them can follow; any thread. A service that never tells keeps 0.
  virtual unsigned long DeviceGeneration() const { return 0; }
  // Every API function announces itself here first (tests watch the call order).
  virtual void Trace(std::string_view /*function*/) {}

  virtual UINT OutGetNumDevs() = 0;
  virtual MMRESULT OutGetDevCaps(UINT device, MIDIOUTCAPSA& caps) = 0;
  // The whole name and identity; a service that knows no more gives its caps' name.
  virtual MMRESULT OutGetDevInfo(UINT device, MidiDeviceInfo& info);
  virtual MMRESULT OutOpen(UINT device, MidiOutClient& client, std::unique_ptr<Port>& port) = 0;
  virtual MMRESULT OutClose(Port& port) = 0;
  virtual MMRESULT OutShortMsg(Port& port, DWORD message) = 0;
  virtual MMRESULT OutPrepareHeader(Port& /*port*/, MIDIHDR& /*header*/) { return MMSYSERR_NOERROR; }
  // Sends header.dwBufferLength bytes from header.lpData, then calls client.Done.
  virtual MMRESULT OutLongMsg(Port& port, MIDIHDR& header) = 0;
  virtual MMRESULT OutUnprepareHeader(Port& /*port*/, MIDIHDR& /*header*/) {
    return MMSYSERR_NOERROR;
  }
  virtual MMRESULT OutSetVolume(UINT /*device*/, DWORD /*volume*/) { return MMSYSERR_NOTSUPPORTED; }

  virtual UINT InGetNumDevs() = 0;
  virtual MMRESULT InGetDevCaps(UINT device, MIDIINCAPSA& caps) = 0;
  virtual MMRESULT InGetDevInfo(UINT device, MidiDeviceInfo& info);
  virtual MMRESULT InOpen(UINT device, MidiInClient& client, std::unique_ptr<Port>& port) = 0;
  virtual MMRESULT InClose(Port& port) = 0;
  virtual MMRESULT InPrepareHeader(Port& /*port*/, MIDIHDR& /*header*/) { return MMSYSERR_NOERROR; }
  virtual MMRESULT InUnprepareHeader(Port& /*port*/, MIDIHDR& /*header*/) {
    return MMSYSERR_NOERROR;
  }
  virtual MMRESULT InAddBuffer(Port& port, MIDIHDR& header) = 0;
  virtual MMRESULT InStart(Port& port) = 0;
  virtual MMRESULT InStop(Port& port) = 0;
  virtual MMRESULT InReset(Port& port) = 0;
};

// The backend that every API call goes to. Before any SetMidiBackend: "none".
MidiBackend& CurrentMidiBackend();
// Installs a backend (null installs "none"). Devices still open on the old one are
// closed first, and their handles become invalid. GUI thread only.
void SetMidiBackend(std::unique_ptr<MidiBackend> backend);
// No devices at all; every device query fails with MMSYSERR_NODRIVER.
std::unique_ptr<MidiBackend> MakeNoneMidiBackend();

// A result code (from MIDIERR_BACKEND_BASE up) whose error text is text; ports show
// at most 127 characters of it. The same text always gives the same code.
// Thread-safe; MMSYSERR_ERROR when the codes run out.
MMRESULT MidiErrorCode(std::string_view text);
// The text behind a code from MidiErrorCode; false for any other code.
bool MidiErrorText(MMRESULT code, std::string& text);

namespace midi_platform_detail {
// Closes and forgets every handle opened on backend (defined with the handles).
void ReleaseOpenHandles(MidiBackend& backend);
}  // namespace midi_platform_detail
