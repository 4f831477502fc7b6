#pragma once

// The MIDI input port: owns one input device of the MIDI service. The callback
// queues received messages in a ring buffer; the GUI thread takes them out as
// TMyMidiEvent objects.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "midi/circular_buffer.h"
#include "midi/midi_types.h"
#include "midi/notify_window.h"
#include "midi/platform/device_info.h"
#include "midi/platform/mmsystem.h"
#include "ui/exception.h"
#include "ui/tobject.h"

enum MidiInputState : std::uint8_t {
  misOpen = 0,
  misClosed = 1,
  misCreating = 2,
  misDestroying = 3,
};

class EMidiInputError : public Exception {
 public:
  using Exception::Exception;
};

class TMidiInput : public TComponent {
 public:
  // Selects device 0: raises "Invalid device ID" when there is no input device.
  explicit TMidiInput(TComponent* AOwner);
  ~TMidiInput() override;
  TMidiInput(const TMidiInput&) = delete;
  TMidiInput& operator=(const TMidiInput&) = delete;

  // Device selection and buffer settings; each raises while the port is open.
  void SetDeviceID(WORD Id);
  // The first device with that whole name.
  void SetProductName(const std::string& Name);
  // The device with Device's identity.
  void SelectDevice(const MidiDeviceInfo& Device);
  void SetSysexBufferSize(WORD Size);
  void SetSysexBufferCount(WORD Count);
  // Takes effect in the callback at once, even while open.
  void SetSysexOnly(bool Flag);
  std::string MidiInErrorString(WORD Code);

  // Reception. Open swallows its own failure (the port stays closed).
  void Open();
  void Start();
  void Stop();
  void Close();
  WORD GetEventCount();
  // The oldest queued event, or null; the caller owns it.
  std::unique_ptr<TMyMidiEvent> GetMidiEvent();

  // The notification window's handler (GUI thread).
  void MidiInput(TMessage& Message);

  HWND NotifyWindow() const { return FNotifyWindow; }
  WORD DeviceID() const { return FDeviceID; }
  HMIDIIN MidiHandle() const { return FMidiHandle; }
  MidiInputState State() const { return FState; }
  WORD Error() const { return FError; }
  bool SysexOnly() const { return FSysexOnly; }
  DWORD DriverVersion() const { return FDriverVersion; }
  // The whole name, not cut as the capabilities cut it.
  const std::string& ProductName() const { return FProductName; }
  // Who the selected device is: Open opens this one, wherever the list moved it.
  const std::string& Identity() const { return FIdentity; }
  const std::string& Address() const { return FAddress; }
  WORD ManufacturerID() const { return FManufacturerID; }
  WORD ProductID() const { return FProductID; }
  TCircularBuffer* EventBuffer() const { return FEventBuffer; }
  WORD DeviceCount() const { return FDeviceCount; }
  WORD SysexBufferSize() const { return FSysexBufferSize; }
  WORD SysexBufferCount() const { return FSysexBufferCount; }
  TMidiNotifyBlock* NotifyBlock() const { return FNotifyBlock; }

  // Ring-buffer size used by the next Open (at most 5461).
  WORD Capacity = 1024;
  TNotifyEvent OnMidiInput;
  TNotifyEvent OnOverflow;

 protected:
  void Prepareheaders();
  void UnprepareHeaders();
  void AddBuffers();

 private:
  [[noreturn]] void RaiseError(MMRESULT Code);
  void Check(MMRESULT Code);
  MIDIINCAPSA QueryCaps(WORD Id);
  MidiDeviceInfo QueryInfo(WORD Id);
  bool Follow();
  bool Displaced() const;

  HWND FNotifyWindow = nullptr;
  WORD FDeviceID = 0;
  HMIDIIN FMidiHandle = nullptr;
  MidiInputState FState = misCreating;
  WORD FError = 0;
  bool FSysexOnly = false;
  DWORD FDriverVersion = 0;
  std::string FProductName;
  std::string FIdentity;
  std::string FAddress;
  WORD FManufacturerID = 0;
  WORD FProductID = 0;
  TCircularBuffer* FEventBuffer = nullptr;
  WORD FDeviceCount = 0;
  WORD FSysexBufferSize = 4096;
  WORD FSysexBufferCount = 16;
  std::unique_ptr<std::vector<std::unique_ptr<TMyMidiHdr>>> FHeaderList;
  TMidiNotifyBlock* FNotifyBlock = nullptr;
};
