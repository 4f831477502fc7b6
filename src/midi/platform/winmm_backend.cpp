#include "midi/platform/winmm_backend.h"

#include <functional>
#include <string>

namespace {

// The drivers' own query for the device interface path (mmddk.h), which names the
// device itself: two identical interfaces have different paths.
constexpr UINT kQueryDeviceInterface = DRV_RESERVED + 12;
constexpr UINT kQueryDeviceInterfaceSize = DRV_RESERVED + 13;

std::string Utf8(const wchar_t* text, int length) {
  if (length <= 0) return {};
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, length, nullptr, 0, nullptr, nullptr);
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, length, out.data(), size, nullptr, nullptr);
  return out;
}

template <class Caps>
std::string NameOf(const Caps& caps) {
  return Utf8(caps.szPname, static_cast<int>(wcsnlen(caps.szPname, MAXPNAMELEN)));
}

template <class Handle>
std::string InterfacePath(UINT device, MMRESULT (*message)(Handle, UINT, DWORD_PTR, DWORD_PTR)) {
  const auto handle = reinterpret_cast<Handle>(static_cast<UINT_PTR>(device));
  ULONG bytes = 0;
  if (message(handle, kQueryDeviceInterfaceSize, reinterpret_cast<DWORD_PTR>(&bytes), 0) !=
          MMSYSERR_NOERROR ||
      bytes < sizeof(wchar_t)) {
    return {};
  }
  std::wstring path(bytes / sizeof(wchar_t), L'\0');
  if (message(handle, kQueryDeviceInterface, reinterpret_cast<DWORD_PTR>(path.data()), bytes) !=
      MMSYSERR_NOERROR) {
    return {};
  }
  return Utf8(path.c_str(), static_cast<int>(wcsnlen(path.c_str(), path.size())));
}

class WinmmMidiBackend final : public MidiBackend {
 public:
  std::string Name() const override { return "WinMM"; }

  // Windows tells a window of arrivals, not a library; the lists are short, so
  // their names are compared instead whenever the editor looks.
  unsigned long DeviceGeneration() const override {
    std::string all = "out";
    for (UINT i = 0, n = midiOutGetNumDevs(); i < n; ++i) {
      MIDIOUTCAPSW caps{};
      if (midiOutGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR) all += NameOf(caps);
      all += '\n';
    }
    all += "in";
    for (UINT i = 0, n = midiInGetNumDevs(); i < n; ++i) {
      MIDIINCAPSW caps{};
      if (midiInGetDevCapsW(i, &caps, sizeof caps) == MMSYSERR_NOERROR) all += NameOf(caps);
      all += '\n';
    }
    return static_cast<unsigned long>(std::hash<std::string>{}(all));
  }

  UINT OutGetNumDevs() override { return midiOutGetNumDevs(); }
  MMRESULT OutGetDevCaps(UINT device, MIDIOUTCAPSA& caps) override {
    return midiOutGetDevCapsA(device, &caps, sizeof caps);
  }
  MMRESULT OutGetDevInfo(UINT device, MidiDeviceInfo& info) override {
    return DevInfo<MIDIOUTCAPSW, HMIDIOUT>(device, midiOutGetDevCapsW, midiOutMessage, info);
  }
  UINT InGetNumDevs() override { return midiInGetNumDevs(); }
  MMRESULT InGetDevCaps(UINT device, MIDIINCAPSA& caps) override {
    return midiInGetDevCapsA(device, &caps, sizeof caps);
  }
  MMRESULT InGetDevInfo(UINT device, MidiDeviceInfo& info) override {
    return DevInfo<MIDIINCAPSW, HMIDIIN>(device, midiInGetDevCapsW, midiInMessage, info);
  }

  // The ports open, send and close through winmm directly.
  MMRESULT OutOpen(UINT, MidiOutClient&, std::unique_ptr<Port>&) override {
    return MMSYSERR_NOTSUPPORTED;
  }
  MMRESULT OutClose(Port&) override { return MMSYSERR_NOTSUPPORTED; }
  MMRESULT OutShortMsg(Port&, DWORD) override { return MMSYSERR_NOTSUPPORTED; }
  MMRESULT OutLongMsg(Port&, MIDIHDR&) override { return MMSYSERR_NOTSUPPORTED; }
  MMRESULT InOpen(UINT, MidiInClient&, std::unique_ptr<Port>&) override {
    return MMSYSERR_NOTSUPPORTED;
  }
  MMRESULT InClose(Port&) override { return MMSYSERR_NOTSUPPORTED; }
  MMRESULT InAddBuffer(Port&, MIDIHDR&) override { return MMSYSERR_NOTSUPPORTED; }
  MMRESULT InStart(Port&) override { return MMSYSERR_NOTSUPPORTED; }
  MMRESULT InStop(Port&) override { return MMSYSERR_NOTSUPPORTED; }
  MMRESULT InReset(Port&) override { return MMSYSERR_NOTSUPPORTED; }

 private:
  // The whole name, and who the device is: the interface path where the driver
  // gives one. Otherwise (Wine, some older drivers) the name and, for a second
  // device of the same name, its place among them: stable while the devices stay
  // as they are.
  template <class Caps, class Handle>
  static MMRESULT DevInfo(UINT device, MMRESULT (*getCaps)(UINT_PTR, Caps*, UINT),
                          MMRESULT (*message)(Handle, UINT, DWORD_PTR, DWORD_PTR),
                          MidiDeviceInfo& info) {
    Caps caps{};
    const MMRESULT result = getCaps(device, &caps, sizeof caps);
    if (result != MMSYSERR_NOERROR) return result;
    info.name = NameOf(caps);
    info.identity = InterfacePath<Handle>(device, message);
    if (!info.identity.empty()) return MMSYSERR_NOERROR;
    int before = 0;
    for (UINT i = 0; i < device; ++i) {
      Caps other{};
      if (getCaps(i, &other, sizeof other) == MMSYSERR_NOERROR && NameOf(other) == info.name) {
        ++before;
      }
    }
    info.identity = before == 0 ? info.name : info.name + " #" + std::to_string(before + 1);
    return MMSYSERR_NOERROR;
  }
};

}  // namespace

std::unique_ptr<MidiBackend> OpenWinmmMidiBackend() { return std::make_unique<WinmmMidiBackend>(); }
