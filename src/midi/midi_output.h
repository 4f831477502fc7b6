#pragma once

// The MIDI output port: owns one output device of the MIDI service. Short
// messages go out at once; a long message is copied into a header of its own,
// which is freed on the GUI thread when the service reports it sent.

#include <array>
#include <cstdint>
#include <string>

#include "midi/midi_types.h"
#include "midi/notify_window.h"
#include "midi/platform/device_info.h"
#include "midi/platform/mmsystem.h"
#include "ui/exception.h"
#include "ui/tobject.h"

enum midioutputState : std::uint8_t { mosOpen = 0, mosClosed = 1 };

// The ordinal equals the technology code the service reports for a device.
enum OutPortTech : std::uint8_t {
  opt_None = 0,
  opt_MidiPort = 1,
  opt_Synth = 2,
  opt_SQSynth = 3,
  opt_FMSynth = 4,
  opt_Mapper = 5,
};

using TechNameMap = std::array<const char*, 6>;
inline constexpr TechNameMap TechName = {"None",     "MIDI Port", "Generic Synth",
                                         "Square Wave Synth", "FM Synth", "MIDI Mapper"};

class EmidioutputError : public Exception {
 public:
  using Exception::Exception;
};

class TMidiOutput : public TComponent {
 public:
  explicit TMidiOutput(TComponent* AOwner);
  // Closes the device and frees every header still in flight.
  ~TMidiOutput() override;
  TMidiOutput(const TMidiOutput&) = delete;
  TMidiOutput& operator=(const TMidiOutput&) = delete;

  // True when the device was opened; a failure is not raised.
  virtual bool Open();
  // True when an open device was closed; a closed port makes no platform call.
  virtual bool Close();
  virtual void PutMidiEvent(const TMyMidiEvent& Event);
  // Status in bits 0-7, Data1 in 8-15, Data2 in 16-23; nothing is masked.
  virtual void PutShort(BYTE Status, BYTE Data1, BYTE Data2);
  // Copies Length bytes and returns without waiting for them to be sent.
  virtual void PutLong(const void* Bytes, WORD Length);

  // Device selection; each raises while the port is open. -1 is the mapper.
  void SetDeviceID(int Id);
  // The first device, mapper first, with that whole name.
  void SetProductName(const std::string& Name);
  void SetTechnology(OutPortTech Tech);
  // The device with Device's identity and, when Device has one, its whole name:
  // an identity that another device has taken since is not that device.
  void SelectDevice(const MidiDeviceInfo& Device);
  // The device's volume: low word left, high word right.
  void SetVolume(WORD High, WORD Low);
  std::string midioutErrorString(WORD Code);
  // The notification window's handler (GUI thread).
  void MidiOutput(TMessage& Message);

  HWND NotifyWindow() const { return FNotifyWindow; }
  int DeviceID() const { return FDeviceID; }
  HMIDIOUT MidiHandle() const { return FMidiHandle; }
  midioutputState State() const { return FState; }
  TMidiNotifyBlock* NotifyBlock() const { return FNotifyBlock; }
  WORD Error() const { return FError; }
  DWORD DriverVersion() const { return FDriverVersion; }
  // The whole name, not cut as the capabilities cut it.
  const std::string& ProductName() const { return FProductName; }
  // Who the selected device is: Open makes sure it opens this one, wherever the
  // device list has moved it. Empty for the mapper and before any selection.
  const std::string& Identity() const { return FIdentity; }
  const std::string& Address() const { return FAddress; }
  OutPortTech Technology() const { return FTechnology; }
  WORD Voices() const { return FVoices; }
  WORD Notes() const { return FNotes; }
  WORD ChannelMask() const { return FChannelMask; }
  DWORD Support() const { return FSupport; }
  WORD DeviceCount() const { return FDeviceCount; }

  // Called on the GUI thread after a long message has been sent and freed.
  TNotifyEvent Onmidioutput;

 protected:
  [[noreturn]] void RaiseError(MMRESULT Code);
  MIDIOUTCAPSA QueryCaps(int Id);
  MidiDeviceInfo QueryInfo(int Id);
  // Where the device with that identity is now, or -2.
  static int FindIdentity(const std::string& Identity);
  // Moves DeviceID to where the selected device is now; false when it has gone.
  bool Follow();
  // True when the device at DeviceID is another than the one selected.
  bool Displaced() const;

  HWND FNotifyWindow = nullptr;
  int FDeviceID = 0;
  HMIDIOUT FMidiHandle = nullptr;
  midioutputState FState = mosClosed;
  TMidiNotifyBlock* FNotifyBlock = nullptr;
  WORD FError = 0;
  DWORD FDriverVersion = 0;
  std::string FProductName;
  std::string FIdentity;
  std::string FAddress;
  OutPortTech FTechnology = opt_None;
  WORD FVoices = 0;
  WORD FNotes = 0;
  WORD FChannelMask = 0;
  DWORD FSupport = 0;
  WORD FDeviceCount = 0;
};
