#include "midi/midi_input.h"

#include <atomic>
#include <cstring>

#include "midi/midi_handler.h"

namespace {

constexpr int kNowhere = -1;
// Devices may come and go while the port looks for one; after so many moves in a
// row the device counts as gone.
constexpr int kTries = 3;

int FindIdentity(const std::string& identity) {
  const UINT count = midiInGetNumDevs();
  for (UINT i = 0; i < count; ++i) {
    MidiDeviceInfo info;
    if (midiInGetDevInfo(i, info) == MMSYSERR_NOERROR && info.identity == identity)
      return static_cast<int>(i);
  }
  return kNowhere;
}

// The callback's messages to the notification window.
constexpr UINT kEventQueued = MIM_DATA;
constexpr UINT kOverflow = WM_USER;

}  // namespace

TMidiInput::TMidiInput(TComponent* AOwner) : TComponent(AOwner) {
  FState = misCreating;
  FSysexOnly = false;
  FDeviceCount = static_cast<WORD>(midiInGetNumDevs());
  SetDeviceID(0);
  Capacity = 1024;
  FSysexBufferSize = 4096;
  FSysexBufferCount = 16;
  FNotifyWindow = AllocateHWnd([this](TMessage& Message) { MidiInput(Message); });
  FState = misClosed;
}

TMidiInput::~TMidiInput() {
  OnMidiInput = nullptr;
  OnOverflow = nullptr;
  bool device_released = true;
  if (FMidiHandle) {
    try {
      Close();
    } catch (const EMidiInputError&) {
      device_released = false;  // the device may still write to the block
    }
    FMidiHandle = nullptr;
  }
  if (FNotifyBlock && device_released) GlobalSharedLockedFree(FNotifyBlock->OwnHandle, FNotifyBlock);
  DeallocateHWnd(FNotifyWindow);
}

void TMidiInput::RaiseError(MMRESULT Code) {
  throw EMidiInputError(MidiInErrorString(static_cast<WORD>(Code)));
}

void TMidiInput::Check(MMRESULT Code) {
  FError = static_cast<WORD>(Code);
  if (FError) RaiseError(FError);
}

MIDIINCAPSA TMidiInput::QueryCaps(WORD Id) {
  MIDIINCAPSA caps{};
  Check(midiInGetDevCapsA(Id, &caps, sizeof caps));
  return caps;
}

void TMidiInput::SetDeviceID(WORD Id) {
  if (FState == misOpen) throw EMidiInputError("Change to DeviceID while device was open");
  if (Id >= midiInGetNumDevs()) throw EMidiInputError("Invalid device ID");
  FDeviceID = Id;
  FIdentity.clear();
  FAddress.clear();
  const MIDIINCAPSA caps = QueryCaps(Id);
  MidiDeviceInfo info = QueryInfo(Id);
  FProductName = std::move(info.name);
  FIdentity = std::move(info.identity);
  FAddress = std::move(info.address);
  FDriverVersion = caps.vDriverVersion;
  FManufacturerID = caps.wMid;
  FProductID = caps.wPid;
}

void TMidiInput::SetProductName(const std::string& Name) {
  if (FState == misOpen) throw EMidiInputError("Change to ProductName while device was open");
  // A name stored with the form is not checked while the form loads.
  if (Loading()) return;
  const WORD count = static_cast<WORD>(midiInGetNumDevs());
  WORD index = 0;
  // With no device at all the query of device 0 fails and raises.
  do {
    QueryCaps(index);
    if (QueryInfo(index).name == Name) {
      FProductName = Name;
      break;
    }
  } while (++index < count);
  if (FProductName != Name) throw EMidiInputError("MIDI Input Device " + Name + " not installed ");
  SetDeviceID(index);
}

void TMidiInput::SelectDevice(const MidiDeviceInfo& Device) {
  if (FState == misOpen) throw EMidiInputError("Change to DeviceID while device was open");
  for (int attempt = 0; attempt < kTries; ++attempt) {
    const int index = FindIdentity(Device.identity);
    if (index == kNowhere) break;
    SetDeviceID(static_cast<WORD>(index));
    // Else the list moved between the look and the choice.
    if (FIdentity == Device.identity) return;
  }
  throw EMidiInputError("MIDI Input Device " + Device.name + " not installed ");
}

MidiDeviceInfo TMidiInput::QueryInfo(WORD Id) {
  MidiDeviceInfo info;
  Check(midiInGetDevInfo(Id, info));
  return info;
}

bool TMidiInput::Follow() {
  if (FIdentity.empty()) return true;
  MidiDeviceInfo info;
  if (midiInGetDevInfo(FDeviceID, info) == MMSYSERR_NOERROR && info.identity == FIdentity)
    return true;
  const int index = FindIdentity(FIdentity);
  if (index == kNowhere) return false;
  FDeviceID = static_cast<WORD>(index);
  return true;
}

bool TMidiInput::Displaced() const {
  if (FIdentity.empty()) return false;
  MidiDeviceInfo info;
  return midiInGetDevInfo(FDeviceID, info) == MMSYSERR_NOERROR && info.identity != FIdentity;
}

void TMidiInput::SetSysexBufferSize(WORD Size) {
  if (FState == misOpen) throw EMidiInputError("Change to SysexBufferSize while device was open");
  FSysexBufferSize = Size;
}

void TMidiInput::SetSysexBufferCount(WORD Count) {
  if (FState == misOpen) throw EMidiInputError("Change to SysexBuffercount while device was open");
  FSysexBufferCount = Count;
}

void TMidiInput::SetSysexOnly(bool Flag) {
  FSysexOnly = Flag;
  if (FNotifyBlock) std::atomic_ref<bool>(FNotifyBlock->SysexOnly).store(Flag);
}

std::string TMidiInput::MidiInErrorString(WORD Code) {
  char text[128] = {};
  if (midiInGetErrorTextA(Code, text, sizeof text) != MMSYSERR_NOERROR) {
    return "Specified error number is out of range";
  }
  return text;
}

void TMidiInput::Open() {
  try {
    if (!FEventBuffer) {
      FEventBuffer = CircbufAlloc(Capacity);
      if (!FEventBuffer) Check(MMSYSERR_NOMEM);
    }
    if (!FNotifyBlock) {
      HGLOBAL handle = nullptr;
      FNotifyBlock = static_cast<TMidiNotifyBlock*>(
          GlobalSharedLockedAlloc(sizeof(TMidiNotifyBlock), handle));
      if (!FNotifyBlock) Check(MMSYSERR_NOMEM);
      FNotifyBlock->OwnHandle = handle;
    }
    FNotifyBlock->Buffer = FEventBuffer;
    FNotifyBlock->NotifyWindow = FNotifyWindow;
    std::atomic_ref<bool>(FNotifyBlock->SysexOnly).store(FSysexOnly);
    // Devices come and go between the choice and the open, and their numbers
    // shift: the open goes to the chosen device, or fails when it has gone.
    for (int attempt = 0;; ++attempt) {
      if (attempt == kTries || !Follow()) Check(MMSYSERR_NODRIVER);
      Check(midiInOpen(&FMidiHandle, FDeviceID, reinterpret_cast<DWORD_PTR>(&midiHandler),
                       reinterpret_cast<DWORD_PTR>(FNotifyBlock), CALLBACK_FUNCTION));
      if (!Displaced()) break;
      midiInClose(FMidiHandle);  // another device took the number meanwhile
      FMidiHandle = nullptr;
    }
    Prepareheaders();
    AddBuffers();
    FState = misOpen;
  } catch (const EMidiInputError&) {
    // The device must stop using the block and buffer before they are freed.
    if (FMidiHandle) {
      midiInReset(FMidiHandle);
      try {
        UnprepareHeaders();
      } catch (const EMidiInputError&) {
      }
      midiInClose(FMidiHandle);
      FMidiHandle = nullptr;
    }
    FHeaderList.reset();
    CircbufFree(FEventBuffer);
    FEventBuffer = nullptr;
    if (FNotifyBlock) GlobalSharedLockedFree(FNotifyBlock->OwnHandle, FNotifyBlock);
    FNotifyBlock = nullptr;
  }
}

void TMidiInput::Prepareheaders() {
  if (FSysexBufferCount == 0 || FSysexBufferSize == 0 || !FMidiHandle) return;
  FHeaderList = std::make_unique<std::vector<std::unique_ptr<TMyMidiHdr>>>();
  for (WORD i = 0; i < FSysexBufferCount; ++i) {
    auto header = std::make_unique<TMyMidiHdr>(FSysexBufferSize);
    if (!header->Header) Check(MMSYSERR_NOMEM);
    header->Header->dwUser = reinterpret_cast<DWORD_PTR>(header.get());
    Check(midiInPrepareHeader(FMidiHandle, header->Header, sizeof(MIDIHDR)));
    FHeaderList->push_back(std::move(header));
  }
}

void TMidiInput::AddBuffers() {
  if (!FHeaderList) return;
  for (auto& header : *FHeaderList)
    Check(midiInAddBuffer(FMidiHandle, header->Header, sizeof(MIDIHDR)));
}

void TMidiInput::UnprepareHeaders() {
  if (!FHeaderList) return;
  for (auto& header : *FHeaderList) {
    Check(midiInUnprepareHeader(FMidiHandle, header->Header, sizeof(MIDIHDR)));
    header.reset();
  }
  FHeaderList.reset();
}

void TMidiInput::Start() {
  if (FState == misOpen) Check(midiInStart(FMidiHandle));
}

void TMidiInput::Stop() {
  if (FState == misOpen) Check(midiInStop(FMidiHandle));
}

void TMidiInput::Close() {
  if (FState != misOpen) return;
  FState = misClosed;
  Check(midiInReset(FMidiHandle));
  UnprepareHeaders();
  Check(midiInClose(FMidiHandle));
  FMidiHandle = nullptr;
  // Notices for events still queued find the port closed and are ignored.
  CircbufFree(FEventBuffer);
  FEventBuffer = nullptr;
  if (FNotifyBlock) FNotifyBlock->Buffer = nullptr;
}

WORD TMidiInput::GetEventCount() {
  if (FState != misOpen) return 0;
  return FEventBuffer->Count.load(std::memory_order_acquire);
}

std::unique_ptr<TMyMidiEvent> TMidiInput::GetMidiEvent() {
  TMidiBufferItem item{};
  if (FState != misOpen || !CircbufReadEvent(FEventBuffer, item)) return nullptr;
  auto event = std::make_unique<TMyMidiEvent>();
  event->Timestamp = item.Timestamp;
  if (!item.SysexHeader) {
    event->StatusByte = static_cast<BYTE>(item.ShortData & 0xFF);
    event->DataByte1 = static_cast<BYTE>((item.ShortData >> 8) & 0xFF);
    event->DataByte2 = static_cast<BYTE>((item.ShortData >> 16) & 0xFF);
  } else {
    MIDIHDR* header = item.SysexHeader;
    event->StatusByte = 0xF0;
    event->SysexSize = static_cast<WORD>(header->dwBytesRecorded & 0xFFFF);
    if (event->SysexSize > 0) {
      event->SysexData = new BYTE[event->SysexSize];
      std::memcpy(event->SysexData, header->lpData, event->SysexSize);
    }
    // The buffer goes back to the device for the next message; on failure the
    // item stays queued and the copy is dropped with the event.
    Check(midiInPrepareHeader(FMidiHandle, header, sizeof(MIDIHDR)));
    Check(midiInAddBuffer(FMidiHandle, header, sizeof(MIDIHDR)));
  }
  CircbufRemoveEvent(FEventBuffer);
  return event;
}

void TMidiInput::MidiInput(TMessage& Message) {
  switch (Message.Msg) {
    case kEventQueued:
      if (OnMidiInput && FState == misOpen && GetEventCount() > 0) OnMidiInput(this);
      break;
    case kOverflow:
      if (OnOverflow && FState == misOpen) OnOverflow(this);
      break;
    default:
      break;
  }
}
