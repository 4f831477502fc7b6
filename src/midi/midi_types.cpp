#include "midi/midi_types.h"

TMyMidiHdr::TMyMidiHdr(WORD Size) {
  if (Size == 0) return;
  Header = static_cast<MIDIHDR*>(GlobalSharedLockedAlloc(sizeof(MIDIHDR), HeaderHandle));
  Data = static_cast<BYTE*>(GlobalSharedLockedAlloc(Size, DataHandle));
  if (Header && Data) {
    Header->lpData = reinterpret_cast<LPSTR>(Data);
    Header->dwBufferLength = Size;
  }
}

TMyMidiHdr::~TMyMidiHdr() {
  GlobalSharedLockedFree(HeaderHandle, Header);
  GlobalSharedLockedFree(DataHandle, Data);
}

TMyMidiEvent::~TMyMidiEvent() { delete[] SysexData; }
