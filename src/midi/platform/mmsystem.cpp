#include "midi/platform/mmsystem.h"

#include <algorithm>
#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "midi/platform/midi_backend.h"

namespace {

// The flags are written on the backend's thread (done) and read on the caller's.
void UpdateFlags(MIDIHDR& header, DWORD set, DWORD clear) {
  std::atomic_ref<DWORD> flags(header.dwFlags);
  DWORD old = flags.load();
  while (!flags.compare_exchange_weak(old, (old | set) & ~clear)) {
  }
}

DWORD Flags(MIDIHDR& header) { return std::atomic_ref<DWORD>(header.dwFlags).load(); }

MMRESULT CheckHeader(const MIDIHDR* header, UINT size) {
  if (!header || size < sizeof(MIDIHDR)) return MMSYSERR_INVALPARAM;
  return MMSYSERR_NOERROR;
}

// Handles are numbers that are never reused, so a stale handle is refused
// instead of reaching another port.
std::atomic<std::uintptr_t> next_handle{0x100000};

struct HandleBase {
  MidiBackend* backend = nullptr;
  std::unique_ptr<MidiBackend::Port> port;
  UINT device = 0;
  std::uintptr_t id = 0;
  LPMIDICALLBACK callback = nullptr;
  DWORD_PTR instance = 0;

  void Notify(UINT message, DWORD_PTR param1, DWORD_PTR param2) const {
    if (callback) callback(reinterpret_cast<HDRVR>(id), message, instance, param1, param2);
  }
};

struct OutHandle final : HandleBase, MidiOutClient {
  void Done(MIDIHDR* header) override { Undelivered(header, MMSYSERR_NOERROR); }
  // MOM_DONE's second parameter, always 0 from Windows, carries why.
  void Undelivered(MIDIHDR* header, MMRESULT why) override {
    UpdateFlags(*header, MHDR_DONE, MHDR_INQUEUE);
    Notify(MOM_DONE, reinterpret_cast<DWORD_PTR>(header), why);
  }
};

struct InHandle final : HandleBase, MidiInClient {
  void Data(DWORD message, DWORD timestamp) override { Notify(MIM_DATA, message, timestamp); }
  void LongData(MIDIHDR* header, DWORD timestamp) override { Return(MIM_LONGDATA, header, timestamp); }
  void LongError(MIDIHDR* header, DWORD timestamp) override {
    Return(MIM_LONGERROR, header, timestamp);
  }
  void Error(DWORD message, DWORD timestamp) override { Notify(MIM_ERROR, message, timestamp); }

 private:
  void Return(UINT message, MIDIHDR* header, DWORD timestamp) {
    UpdateFlags(*header, MHDR_DONE, MHDR_INQUEUE);
    Notify(message, reinterpret_cast<DWORD_PTR>(header), timestamp);
  }
};

template <class Handle>
class HandleTable {
 public:
  std::shared_ptr<Handle> Find(const void* handle) {
    if (!handle) return nullptr;
    std::lock_guard lock(mutex_);
    auto found = open_.find(reinterpret_cast<std::uintptr_t>(handle));
    return found == open_.end() ? nullptr : found->second;
  }
  void Add(std::shared_ptr<Handle> handle) {
    std::lock_guard lock(mutex_);
    open_.emplace(handle->id, std::move(handle));
  }
  void Remove(std::uintptr_t id) {
    std::lock_guard lock(mutex_);
    open_.erase(id);
  }
  std::vector<std::shared_ptr<Handle>> TakeAll(const MidiBackend& backend) {
    std::lock_guard lock(mutex_);
    std::vector<std::shared_ptr<Handle>> taken;
    for (auto it = open_.begin(); it != open_.end();) {
      if (it->second->backend == &backend) {
        taken.push_back(std::move(it->second));
        it = open_.erase(it);
      } else {
        ++it;
      }
    }
    return taken;
  }

 private:
  std::mutex mutex_;
  std::unordered_map<std::uintptr_t, std::shared_ptr<Handle>> open_;
};

HandleTable<OutHandle>& OutHandles() {
  static HandleTable<OutHandle> table;
  return table;
}

HandleTable<InHandle>& InHandles() {
  static HandleTable<InHandle> table;
  return table;
}

MidiBackend& Traced(std::string_view function) {
  MidiBackend& backend = CurrentMidiBackend();
  backend.Trace(function);
  return backend;
}

template <class Handle>
MMRESULT OpenCallback(Handle& handle, DWORD_PTR callback, DWORD_PTR instance, DWORD flags) {
  switch (flags & CALLBACK_TYPEMASK) {
    case CALLBACK_NULL:
      return MMSYSERR_NOERROR;
    case CALLBACK_FUNCTION:
      handle.callback = reinterpret_cast<LPMIDICALLBACK>(callback);
      handle.instance = instance;
      return MMSYSERR_NOERROR;
    default:  // windows, threads and events have no meaning here
      return MMSYSERR_INVALFLAG;
  }
}

// Prepare, unprepare and add-buffer rules, shared by both directions.
template <class Forward>
MMRESULT Prepare(MIDIHDR* header, UINT size, Forward forward) {
  if (MMRESULT check = CheckHeader(header, size)) return check;
  if (!header->lpData) return MMSYSERR_INVALPARAM;
  if (Flags(*header) & MHDR_PREPARED) return MMSYSERR_NOERROR;
  if (MMRESULT result = forward()) return result;
  UpdateFlags(*header, MHDR_PREPARED, 0);
  return MMSYSERR_NOERROR;
}

template <class Forward>
MMRESULT Unprepare(MIDIHDR* header, UINT size, Forward forward) {
  if (MMRESULT check = CheckHeader(header, size)) return check;
  const DWORD flags = Flags(*header);
  if (!(flags & MHDR_PREPARED)) return MMSYSERR_NOERROR;
  if (flags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  if (MMRESULT result = forward()) return result;
  UpdateFlags(*header, 0, MHDR_PREPARED);
  return MMSYSERR_NOERROR;
}

template <class Forward>
MMRESULT Queue(MIDIHDR* header, UINT size, Forward forward) {
  if (MMRESULT check = CheckHeader(header, size)) return check;
  const DWORD flags = Flags(*header);
  if (!(flags & MHDR_PREPARED)) return MIDIERR_UNPREPARED;
  if (flags & MHDR_INQUEUE) return MIDIERR_STILLPLAYING;
  if (!header->lpData || header->dwBufferLength == 0) return MMSYSERR_INVALPARAM;
  UpdateFlags(*header, MHDR_INQUEUE, MHDR_DONE);
  const MMRESULT result = forward();
  if (result) UpdateFlags(*header, 0, MHDR_INQUEUE);
  return result;
}

struct ErrorEntry {
  MMRESULT code;
  const char* text;
};

// Each fits the 128-character buffer that the ports read texts into.
constexpr ErrorEntry kErrorTexts[] = {
    {MMSYSERR_NOERROR, "The specified command was carried out."},
    {MMSYSERR_ERROR, "Undefined external error."},
    {MMSYSERR_BADDEVICEID, "A device ID has been used that is out of range for your system."},
    {MMSYSERR_NOTENABLED, "The driver was not enabled."},
    {MMSYSERR_ALLOCATED,
     "The specified device is already in use.  Wait until it is free, and then try again."},
    {MMSYSERR_INVALHANDLE, "The specified device handle is invalid."},
    {MMSYSERR_NODRIVER, "There is no driver installed on your system."},
    {MMSYSERR_NOMEM,
     "There is not enough memory available for this task.  Quit one or more applications, and "
     "then try again."},
    {MMSYSERR_NOTSUPPORTED,
     "This function is not supported.  Use the Capabilities function to determine which "
     "functions and messages the driver supports."},
    {MMSYSERR_BADERRNUM, "An error number was specified that is not defined in the system."},
    {MMSYSERR_INVALFLAG, "An invalid flag was passed to a system function."},
    {MMSYSERR_INVALPARAM, "An invalid parameter was passed to a system function."},
    {MIDIERR_UNPREPARED,
     "The header has not been prepared.  Use the Prepare function to prepare the header, and "
     "then try again."},
    {MIDIERR_STILLPLAYING,
     "Cannot perform this operation while media data is still playing.  Reset the device, or "
     "wait until the data is finished playing."},
    {MIDIERR_NOMAP, "A MIDI map was not found.  There may be a problem with the driver, or the "
                    "MIDI mapper setup may be missing."},
    {MIDIERR_NOTREADY,
     "The port is transmitting data to the device.  Wait until the data has been transmitted, "
     "and then try again."},
    {MIDIERR_NODEVICE,
     "The current MIDI Mapper setup refers to a MIDI device that is not installed on the "
     "system."},
    {MIDIERR_INVALIDSETUP, "The current MIDI setup is damaged."},
};

MMRESULT ErrorText(MMRESULT code, LPSTR text, UINT capacity) {
  if (!text || capacity == 0) return MMSYSERR_INVALPARAM;
  std::string found;
  const auto* entry = std::find_if(std::begin(kErrorTexts), std::end(kErrorTexts),
                                   [code](const ErrorEntry& e) { return e.code == code; });
  if (entry != std::end(kErrorTexts)) {
    found = entry->text;
  } else if (!MidiErrorText(code, found)) {
    text[0] = '\0';
    return MMSYSERR_BADERRNUM;
  }
  const size_t count = std::min<size_t>(found.size(), capacity - 1);
  std::memcpy(text, found.data(), count);
  text[count] = '\0';
  return MMSYSERR_NOERROR;
}

template <class Caps, class Query>
MMRESULT DevCaps(Caps* caps, UINT size, Query query) {
  if (!caps) return MMSYSERR_INVALPARAM;
  Caps full{};
  if (MMRESULT result = query(full)) return result;
  full.szPname[MAXPNAMELEN - 1] = '\0';
  std::memcpy(caps, &full, std::min<size_t>(size, sizeof full));
  return MMSYSERR_NOERROR;
}

}  // namespace

namespace midi_platform_detail {

void ReleaseOpenHandles(MidiBackend& backend) {
  for (auto& handle : OutHandles().TakeAll(backend)) backend.OutClose(*handle->port);
  for (auto& handle : InHandles().TakeAll(backend)) {
    backend.InReset(*handle->port);
    backend.InClose(*handle->port);
  }
}

}  // namespace midi_platform_detail

// ---- output ----

UINT midiOutGetNumDevs() { return Traced("midiOutGetNumDevs").OutGetNumDevs(); }

MMRESULT midiOutGetDevCapsA(UINT_PTR uDeviceID, MIDIOUTCAPSA* pmoc, UINT cbmoc) {
  MidiBackend& backend = Traced("midiOutGetDevCapsA");
  const UINT device = static_cast<UINT>(uDeviceID);
  if (device != MIDI_MAPPER && device >= backend.OutGetNumDevs()) return MMSYSERR_BADDEVICEID;
  return DevCaps(pmoc, cbmoc, [&](MIDIOUTCAPSA& caps) { return backend.OutGetDevCaps(device, caps); });
}

MMRESULT midiOutOpen(LPHMIDIOUT phmo, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                     DWORD fdwOpen) {
  MidiBackend& backend = Traced("midiOutOpen");
  if (!phmo) return MMSYSERR_INVALPARAM;
  *phmo = nullptr;
  if (uDeviceID != MIDI_MAPPER && uDeviceID >= backend.OutGetNumDevs()) return MMSYSERR_BADDEVICEID;
  auto handle = std::make_shared<OutHandle>();
  if (MMRESULT result = OpenCallback(*handle, dwCallback, dwInstance, fdwOpen)) return result;
  handle->backend = &backend;
  handle->device = uDeviceID;
  handle->id = next_handle++;
  if (MMRESULT result = backend.OutOpen(uDeviceID, *handle, handle->port)) return result;
  *phmo = reinterpret_cast<HMIDIOUT>(handle->id);
  OutHandles().Add(handle);
  handle->Notify(MOM_OPEN, 0, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutClose(HMIDIOUT hmo) {
  Traced("midiOutClose");
  auto handle = OutHandles().Find(hmo);
  if (!handle) return MMSYSERR_INVALHANDLE;
  if (MMRESULT result = handle->backend->OutClose(*handle->port)) return result;
  OutHandles().Remove(handle->id);
  handle->Notify(MOM_CLOSE, 0, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT midiOutShortMsg(HMIDIOUT hmo, DWORD dwMsg) {
  Traced("midiOutShortMsg");
  auto handle = OutHandles().Find(hmo);
  if (!handle) return MMSYSERR_INVALHANDLE;
  return handle->backend->OutShortMsg(*handle->port, dwMsg);
}

MMRESULT midiOutPrepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
  Traced("midiOutPrepareHeader");
  auto handle = OutHandles().Find(hmo);
  if (!handle) return MMSYSERR_INVALHANDLE;
  return Prepare(pmh, cbmh, [&] { return handle->backend->OutPrepareHeader(*handle->port, *pmh); });
}

MMRESULT midiOutLongMsg(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
  Traced("midiOutLongMsg");
  auto handle = OutHandles().Find(hmo);
  if (!handle) return MMSYSERR_INVALHANDLE;
  return Queue(pmh, cbmh, [&] { return handle->backend->OutLongMsg(*handle->port, *pmh); });
}

MMRESULT midiOutUnprepareHeader(HMIDIOUT hmo, LPMIDIHDR pmh, UINT cbmh) {
  Traced("midiOutUnprepareHeader");
  auto handle = OutHandles().Find(hmo);
  if (!handle) return MMSYSERR_INVALHANDLE;
  return Unprepare(pmh, cbmh,
                   [&] { return handle->backend->OutUnprepareHeader(*handle->port, *pmh); });
}

MMRESULT midiOutSetVolume(HMIDIOUT hmo, DWORD dwVolume) {
  MidiBackend& backend = Traced("midiOutSetVolume");
  if (auto handle = OutHandles().Find(hmo)) {
    return handle->backend->OutSetVolume(handle->device, dwVolume);
  }
  const UINT device = static_cast<UINT>(reinterpret_cast<std::uintptr_t>(hmo));
  if (device != MIDI_MAPPER && device >= backend.OutGetNumDevs()) return MMSYSERR_INVALHANDLE;
  return backend.OutSetVolume(device, dwVolume);
}

MMRESULT midiOutGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText) {
  Traced("midiOutGetErrorTextA");
  return ErrorText(mmrError, pszText, cchText);
}

// ---- input ----

UINT midiInGetNumDevs() { return Traced("midiInGetNumDevs").InGetNumDevs(); }

MMRESULT midiInGetDevCapsA(UINT_PTR uDeviceID, MIDIINCAPSA* pmic, UINT cbmic) {
  MidiBackend& backend = Traced("midiInGetDevCapsA");
  const UINT device = static_cast<UINT>(uDeviceID);
  if (device >= backend.InGetNumDevs()) return MMSYSERR_BADDEVICEID;  // no input mapper
  return DevCaps(pmic, cbmic, [&](MIDIINCAPSA& caps) { return backend.InGetDevCaps(device, caps); });
}

MMRESULT midiInOpen(LPHMIDIIN phmi, UINT uDeviceID, DWORD_PTR dwCallback, DWORD_PTR dwInstance,
                    DWORD fdwOpen) {
  MidiBackend& backend = Traced("midiInOpen");
  if (!phmi) return MMSYSERR_INVALPARAM;
  *phmi = nullptr;
  if (uDeviceID >= backend.InGetNumDevs()) return MMSYSERR_BADDEVICEID;
  auto handle = std::make_shared<InHandle>();
  if (MMRESULT result = OpenCallback(*handle, dwCallback, dwInstance, fdwOpen)) return result;
  handle->backend = &backend;
  handle->device = uDeviceID;
  handle->id = next_handle++;
  if (MMRESULT result = backend.InOpen(uDeviceID, *handle, handle->port)) return result;
  *phmi = reinterpret_cast<HMIDIIN>(handle->id);
  InHandles().Add(handle);
  handle->Notify(MIM_OPEN, 0, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT midiInClose(HMIDIIN hmi) {
  Traced("midiInClose");
  auto handle = InHandles().Find(hmi);
  if (!handle) return MMSYSERR_INVALHANDLE;
  if (MMRESULT result = handle->backend->InClose(*handle->port)) return result;
  InHandles().Remove(handle->id);
  handle->Notify(MIM_CLOSE, 0, 0);
  return MMSYSERR_NOERROR;
}

MMRESULT midiInPrepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
  Traced("midiInPrepareHeader");
  auto handle = InHandles().Find(hmi);
  if (!handle) return MMSYSERR_INVALHANDLE;
  return Prepare(pmh, cbmh, [&] { return handle->backend->InPrepareHeader(*handle->port, *pmh); });
}

MMRESULT midiInUnprepareHeader(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
  Traced("midiInUnprepareHeader");
  auto handle = InHandles().Find(hmi);
  if (!handle) return MMSYSERR_INVALHANDLE;
  return Unprepare(pmh, cbmh,
                   [&] { return handle->backend->InUnprepareHeader(*handle->port, *pmh); });
}

MMRESULT midiInAddBuffer(HMIDIIN hmi, LPMIDIHDR pmh, UINT cbmh) {
  Traced("midiInAddBuffer");
  auto handle = InHandles().Find(hmi);
  if (!handle) return MMSYSERR_INVALHANDLE;
  return Queue(pmh, cbmh, [&] {
    pmh->dwBytesRecorded = 0;
    return handle->backend->InAddBuffer(*handle->port, *pmh);
  });
}

MMRESULT midiInStart(HMIDIIN hmi) {
  Traced("midiInStart");
  auto handle = InHandles().Find(hmi);
  return handle ? handle->backend->InStart(*handle->port) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiInStop(HMIDIIN hmi) {
  Traced("midiInStop");
  auto handle = InHandles().Find(hmi);
  return handle ? handle->backend->InStop(*handle->port) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiInReset(HMIDIIN hmi) {
  Traced("midiInReset");
  auto handle = InHandles().Find(hmi);
  return handle ? handle->backend->InReset(*handle->port) : MMSYSERR_INVALHANDLE;
}

MMRESULT midiInGetErrorTextA(MMRESULT mmrError, LPSTR pszText, UINT cchText) {
  Traced("midiInGetErrorTextA");
  return ErrorText(mmrError, pszText, cchText);
}
