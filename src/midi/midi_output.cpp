#include "midi/midi_output.h"

#include <cstring>
#include <memory>

#include "midi/midi_handler.h"

namespace {

std::string CapsName(const MIDIOUTCAPSA& caps) {
  return std::string(caps.szPname, strnlen(caps.szPname, MAXPNAMELEN));
}

HMIDIOUT DeviceAsHandle(int id) {
  return reinterpret_cast<HMIDIOUT>(static_cast<std::intptr_t>(id));
}

constexpr int kNowhere = -2;
// Devices may come and go while the port looks for one; after so many moves in a
// row the device counts as gone.
constexpr int kTries = 3;

}  // namespace

TMidiOutput::TMidiOutput(TComponent* AOwner) : TComponent(AOwner) {
  FState = mosClosed;
  FDeviceCount = static_cast<WORD>(midiOutGetNumDevs());
  FNotifyWindow = AllocateHWnd([this](TMessage& Message) { MidiOutput(Message); });
}

TMidiOutput::~TMidiOutput() {
  // The owner is going away: free headers without telling it.
  Onmidioutput = nullptr;
  bool device_released = true;
  if (FState == mosOpen) {
    try {
      TMidiOutput::Close();
    } catch (const EmidioutputError&) {
      // The device may still use the block; leaking it beats freeing it under the device.
      device_released = false;
    }
  }
  // A closed device has reported every header done; free them before the window,
  // which would drop those notices, goes.
  DispatchPostedMessages(FNotifyWindow);
  if (FNotifyBlock && device_released) GlobalSharedLockedFree(FNotifyBlock->OwnHandle, FNotifyBlock);
  DeallocateHWnd(FNotifyWindow);
}

void TMidiOutput::RaiseError(MMRESULT Code) {
  throw EmidioutputError(midioutErrorString(static_cast<WORD>(Code)));
}

MIDIOUTCAPSA TMidiOutput::QueryCaps(int Id) {
  MIDIOUTCAPSA caps{};
  FError = static_cast<WORD>(midiOutGetDevCapsA(static_cast<UINT>(Id), &caps, sizeof caps));
  if (FError) RaiseError(FError);
  return caps;
}

MidiDeviceInfo TMidiOutput::QueryInfo(int Id) {
  MidiDeviceInfo info;
  FError = static_cast<WORD>(midiOutGetDevInfo(static_cast<UINT>(Id), info));
  if (FError) RaiseError(FError);
  return info;
}

int TMidiOutput::FindIdentity(const std::string& Identity) {
  const UINT count = midiOutGetNumDevs();
  for (UINT i = 0; i < count; ++i) {
    MidiDeviceInfo info;
    if (midiOutGetDevInfo(i, info) == MMSYSERR_NOERROR && info.identity == Identity)
      return static_cast<int>(i);
  }
  return kNowhere;
}

void TMidiOutput::SetDeviceID(int Id) {
  if (FState == mosOpen) throw EmidioutputError("Change to DeviceID while device was open");
  if (Id >= static_cast<int>(midiOutGetNumDevs())) throw EmidioutputError("Invalid device ID");
  FDeviceID = Id;
  FIdentity.clear();
  FAddress.clear();
  const MIDIOUTCAPSA caps = QueryCaps(Id);
  FProductName = CapsName(caps);
  if (Id >= 0) {  // the mapper has caps only
    MidiDeviceInfo info = QueryInfo(Id);
    FProductName = std::move(info.name);
    FIdentity = std::move(info.identity);
    FAddress = std::move(info.address);
  }
  FDriverVersion = caps.vDriverVersion;
  FTechnology = static_cast<OutPortTech>(caps.wTechnology & 0xFF);
  FVoices = caps.wVoices;
  FNotes = caps.wNotes;
  FChannelMask = caps.wChannelMask;
  FSupport = caps.dwSupport;
}

void TMidiOutput::SetProductName(const std::string& Name) {
  if (FState == mosOpen) throw EmidioutputError("Change to ProductName while device was open");
  // A name stored with the form is not checked while the form loads.
  if (Loading()) return;
  const int count = static_cast<int>(midiOutGetNumDevs());
  int index = -1;  // the mapper first
  for (; index < count; ++index) {
    const std::string capsName = CapsName(QueryCaps(index));
    if ((index < 0 ? capsName : QueryInfo(index).name) == Name) {
      FProductName = Name;
      break;
    }
  }
  if (FProductName != Name) throw EmidioutputError("MIDI output Device " + Name + " not installed");
  SetDeviceID(index);
}

void TMidiOutput::SelectDevice(const MidiDeviceInfo& Device) {
  if (FState == mosOpen) throw EmidioutputError("Change to DeviceID while device was open");
  for (int attempt = 0; attempt < kTries; ++attempt) {
    const int index = FindIdentity(Device.identity);
    if (index == kNowhere) break;
    SetDeviceID(index);
    if (FIdentity != Device.identity) continue;  // the list moved between look and choice
    if (Device.name.empty() || FProductName == Device.name) return;
    break;
  }
  throw EmidioutputError("MIDI output Device " + Device.name + " not installed");
}

bool TMidiOutput::Follow() {
  if (FIdentity.empty()) return true;
  MidiDeviceInfo info;
  if (midiOutGetDevInfo(static_cast<UINT>(FDeviceID), info) == MMSYSERR_NOERROR &&
      info.identity == FIdentity)
    return true;
  const int index = FindIdentity(FIdentity);
  if (index == kNowhere) return false;
  FDeviceID = index;
  return true;
}

bool TMidiOutput::Displaced() const {
  if (FIdentity.empty()) return false;
  MidiDeviceInfo info;
  // A device that cannot be asked now has just gone: its sends will say so.
  return midiOutGetDevInfo(static_cast<UINT>(FDeviceID), info) == MMSYSERR_NOERROR &&
         info.identity != FIdentity;
}

void TMidiOutput::SetTechnology(OutPortTech Tech) {
  if (FState == mosOpen) {
    throw EmidioutputError("Change to Product Technology while device was open");
  }
  const int count = static_cast<int>(midiOutGetNumDevs());
  int index = -1;  // the mapper first
  for (; index < count; ++index) {
    if ((QueryCaps(index).wTechnology & 0xFF) == Tech) {
      FTechnology = Tech;
      break;
    }
  }
  if (FTechnology != Tech) {
    throw EmidioutputError(std::string("MIDI output technology ") + TechName[Tech] +
                           " not installed");
  }
  SetDeviceID(index);
}

bool TMidiOutput::Open() {
  try {
    if (!FNotifyBlock) {
      HGLOBAL handle = nullptr;
      FNotifyBlock =
          static_cast<TMidiNotifyBlock*>(GlobalSharedLockedAlloc(sizeof(TMidiNotifyBlock), handle));
      if (!FNotifyBlock) {
        FError = MMSYSERR_NOMEM;
        RaiseError(FError);
      }
      FNotifyBlock->OwnHandle = handle;
    }
    FNotifyBlock->NotifyWindow = FNotifyWindow;
    // Devices come and go between the choice and the open, and their numbers
    // shift: the open goes to the chosen device, or fails when it has gone.
    for (int attempt = 0;; ++attempt) {
      if (attempt == kTries || !Follow()) {
        FError = MMSYSERR_NODRIVER;
        RaiseError(FError);
      }
      FError = static_cast<WORD>(midiOutOpen(&FMidiHandle, static_cast<UINT>(FDeviceID),
                                             reinterpret_cast<DWORD_PTR>(&midiHandler),
                                             reinterpret_cast<DWORD_PTR>(FNotifyBlock),
                                             CALLBACK_FUNCTION));
      if (FError) RaiseError(FError);
      if (!Displaced()) break;
      midiOutClose(FMidiHandle);  // another device took the number meanwhile
      FMidiHandle = nullptr;
    }
  } catch (const EmidioutputError&) {
    if (FNotifyBlock) GlobalSharedLockedFree(FNotifyBlock->OwnHandle, FNotifyBlock);
    FNotifyBlock = nullptr;
    return false;
  }
  FState = mosOpen;
  return true;
}

bool TMidiOutput::Close() {
  bool result = false;
  if (FState == mosOpen) {
    FError = static_cast<WORD>(midiOutClose(FMidiHandle));
    if (FError) RaiseError(FError);
    result = true;
  }
  FMidiHandle = nullptr;
  FState = mosClosed;
  return result;
}

void TMidiOutput::PutShort(BYTE Status, BYTE Data1, BYTE Data2) {
  const DWORD message = Status | (DWORD{Data1} << 8) | (DWORD{Data2} << 16);
  FError = static_cast<WORD>(midiOutShortMsg(FMidiHandle, message));
  if (FError) RaiseError(FError);
}

void TMidiOutput::PutLong(const void* Bytes, WORD Length) {
  if (Length == 0) return;  // nothing to send, so no header
  auto header = std::make_unique<TMyMidiHdr>(Length);
  if (!header->Header || !header->Data) {
    FError = MMSYSERR_NOMEM;
    RaiseError(FError);
  }
  std::memcpy(header->Data, Bytes, Length);
  header->Header->dwUser = reinterpret_cast<DWORD_PTR>(header.get());
  FError = static_cast<WORD>(midiOutPrepareHeader(FMidiHandle, header->Header, sizeof(MIDIHDR)));
  if (FError) RaiseError(FError);
  FError = static_cast<WORD>(midiOutLongMsg(FMidiHandle, header->Header, sizeof(MIDIHDR)));
  if (FError) {
    // The device never took it, so it is freed here.
    midiOutUnprepareHeader(FMidiHandle, header->Header, sizeof(MIDIHDR));
    RaiseError(FError);
  }
  header.release();  // until MidiOutput receives its done notice
}

void TMidiOutput::PutMidiEvent(const TMyMidiEvent& Event) {
  if (FState != mosOpen) throw EmidioutputError("MIDI Output device not open");
  if (!Event.SysexData) {
    PutShort(Event.StatusByte, Event.DataByte1, Event.DataByte2);
  } else {
    PutLong(Event.SysexData, Event.SysexSize);
  }
}

void TMidiOutput::SetVolume(WORD High, WORD Low) {
  const DWORD volume = (DWORD{High} << 16) | Low;
  FError = static_cast<WORD>(midiOutSetVolume(DeviceAsHandle(FDeviceID), volume));
  if (FError) RaiseError(FError);
}

std::string TMidiOutput::midioutErrorString(WORD Code) {
  char text[128] = {};
  if (midiOutGetErrorTextA(Code, text, sizeof text) != MMSYSERR_NOERROR) {
    return "Specified error number is out of range";
  }
  return text;
}

void TMidiOutput::MidiOutput(TMessage& Message) {
  if (Message.Msg != MOM_DONE) return;
  auto* header = reinterpret_cast<MIDIHDR*>(Message.LParam);
  if (!header) return;
  midiOutUnprepareHeader(FMidiHandle, header, sizeof(MIDIHDR));
  delete reinterpret_cast<TMyMidiHdr*>(header->dwUser);
  if (Onmidioutput) Onmidioutput(this);
  // A message taken while its device went and delivered nowhere: reported
  // unless a later send to the same device has already failed for it.
  const auto undelivered = static_cast<WORD>(Message.WParam);
  if (undelivered && FError != undelivered) {
    FError = undelivered;
    RaiseError(FError);
  }
}
