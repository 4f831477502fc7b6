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

void TMidiOutput::SetDeviceID(int Id) {
  if (FState == mosOpen) throw EmidioutputError("Change to DeviceID while device was open");
  if (Id >= static_cast<int>(midiOutGetNumDevs())) throw EmidioutputError("Invalid device ID");
  FDeviceID = Id;
  const MIDIOUTCAPSA caps = QueryCaps(Id);
  FProductName = CapsName(caps);
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
    if (CapsName(QueryCaps(index)) == Name) {
      FProductName = Name;
      break;
    }
  }
  if (FProductName != Name) throw EmidioutputError("MIDI output Device " + Name + " not installed");
  SetDeviceID(index);
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
    FError = static_cast<WORD>(midiOutOpen(&FMidiHandle, static_cast<UINT>(FDeviceID),
                                           reinterpret_cast<DWORD_PTR>(&midiHandler),
                                           reinterpret_cast<DWORD_PTR>(FNotifyBlock),
                                           CALLBACK_FUNCTION));
    if (FError) RaiseError(FError);
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
