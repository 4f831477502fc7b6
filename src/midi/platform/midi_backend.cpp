#include "midi/platform/midi_backend.h"

#include <cstring>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace {

class NoneMidiBackend final : public MidiBackend {
 public:
  std::string Name() const override { return "none"; }

  UINT OutGetNumDevs() override { return 0; }
  MMRESULT OutGetDevCaps(UINT, MIDIOUTCAPSA&) override { return MMSYSERR_NODRIVER; }
  MMRESULT OutOpen(UINT, MidiOutClient&, std::unique_ptr<Port>&) override {
    return MMSYSERR_NODRIVER;
  }
  MMRESULT OutClose(Port&) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT OutShortMsg(Port&, DWORD) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT OutLongMsg(Port&, MIDIHDR&) override { return MMSYSERR_INVALHANDLE; }

  UINT InGetNumDevs() override { return 0; }
  MMRESULT InGetDevCaps(UINT, MIDIINCAPSA&) override { return MMSYSERR_NODRIVER; }
  MMRESULT InOpen(UINT, MidiInClient&, std::unique_ptr<Port>&) override {
    return MMSYSERR_NODRIVER;
  }
  MMRESULT InClose(Port&) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT InAddBuffer(Port&, MIDIHDR&) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT InStart(Port&) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT InStop(Port&) override { return MMSYSERR_INVALHANDLE; }
  MMRESULT InReset(Port&) override { return MMSYSERR_INVALHANDLE; }
};

std::unique_ptr<MidiBackend>& Current() {
  static std::unique_ptr<MidiBackend> current = MakeNoneMidiBackend();
  return current;
}

// Codes stay valid for the whole run, whichever backend is current, because a
// port may keep a code in its Error field after the backend changed.
struct ErrorTexts {
  std::mutex mutex;
  std::vector<std::string> texts;  // code = MIDIERR_BACKEND_BASE + index
  std::unordered_map<std::string, MMRESULT> codes;
};

ErrorTexts& Registry() {
  static ErrorTexts registry;
  return registry;
}

// Port error fields are 16-bit.
constexpr MMRESULT kLastBackendCode = 0xFFFF;

}  // namespace

std::unique_ptr<MidiBackend> MakeNoneMidiBackend() { return std::make_unique<NoneMidiBackend>(); }

MidiBackend& CurrentMidiBackend() { return *Current(); }

void SetMidiBackend(std::unique_ptr<MidiBackend> backend) {
  if (!backend) backend = MakeNoneMidiBackend();
  midi_platform_detail::ReleaseOpenHandles(*Current());
  Current() = std::move(backend);
}

MMRESULT MidiErrorCode(std::string_view text) {
  ErrorTexts& registry = Registry();
  std::lock_guard lock(registry.mutex);
  std::string key(text);
  if (auto found = registry.codes.find(key); found != registry.codes.end()) return found->second;
  const MMRESULT code = MIDIERR_BACKEND_BASE + static_cast<MMRESULT>(registry.texts.size());
  if (code > kLastBackendCode) return MMSYSERR_ERROR;
  registry.texts.push_back(key);
  registry.codes.emplace(std::move(key), code);
  return code;
}

bool MidiErrorText(MMRESULT code, std::string& text) {
  ErrorTexts& registry = Registry();
  std::lock_guard lock(registry.mutex);
  if (code < MIDIERR_BACKEND_BASE || code - MIDIERR_BACKEND_BASE >= registry.texts.size()) {
    return false;
  }
  text = registry.texts[code - MIDIERR_BACKEND_BASE];
  return true;
}

namespace {

template <class Caps>
MMRESULT InfoFromCaps(MMRESULT result, const Caps& caps, MidiDeviceInfo& info) {
  if (result != MMSYSERR_NOERROR) return result;
  info.name.assign(caps.szPname, strnlen(caps.szPname, MAXPNAMELEN));
  info.identity = info.name;
  return MMSYSERR_NOERROR;
}

}  // namespace

MMRESULT MidiBackend::OutGetDevInfo(UINT device, MidiDeviceInfo& info) {
  MIDIOUTCAPSA caps{};
  return InfoFromCaps(OutGetDevCaps(device, caps), caps, info);
}

MMRESULT MidiBackend::InGetDevInfo(UINT device, MidiDeviceInfo& info) {
  MIDIINCAPSA caps{};
  return InfoFromCaps(InGetDevCaps(device, caps), caps, info);
}
