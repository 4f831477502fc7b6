#pragma once

// The pieces shared by the output and input ports: the block handed to the
// platform callback, the owner of one platform header, and one MIDI event.

#include "midi/midi_memory.h"
#include "midi/notify_window.h"
#include "midi/platform/mmsystem.h"
#include "ui/tobject.h"

struct TCircularBuffer;

// The callback's instance data. It lives in locked global memory (zero-filled),
// allocated with GlobalSharedLockedAlloc(sizeof(TMidiNotifyBlock)): 16 bytes with
// 32-bit pointers. Everything here is written before the device is opened, except
// SysexOnly, which the input port may change while the callback reads it: access
// that one through std::atomic_ref.
struct TMidiNotifyBlock {
  HGLOBAL OwnHandle;
  TCircularBuffer* Buffer;  // the input port's event queue; null for an output port
  HWND NotifyWindow;
  bool SysexOnly;  // input only: queue nothing but SysEx
};

// Owns one platform MIDI header and its data buffer, both in locked global
// memory so that they stay put while the device uses them.
class TMyMidiHdr : public TObject {
 public:
  // With Size 0 nothing is allocated. Otherwise check Header and Data: either
  // is null when memory ran out.
  explicit TMyMidiHdr(WORD Size);
  ~TMyMidiHdr() override;
  TMyMidiHdr(const TMyMidiHdr&) = delete;
  TMyMidiHdr& operator=(const TMyMidiHdr&) = delete;

  HGLOBAL HeaderHandle = nullptr;
  MIDIHDR* Header = nullptr;
  HGLOBAL DataHandle = nullptr;
  BYTE* Data = nullptr;
};

// One MIDI event: a short message, or a SysEx message (StatusByte 0xF0) whose
// bytes are at SysexData. The event owns SysexData, which is allocated with new[].
class TMyMidiEvent : public TObject {
 public:
  TMyMidiEvent() = default;
  ~TMyMidiEvent() override;
  TMyMidiEvent(const TMyMidiEvent&) = delete;
  TMyMidiEvent& operator=(const TMyMidiEvent&) = delete;

  BYTE StatusByte = 0;
  BYTE DataByte1 = 0;
  BYTE DataByte2 = 0;
  DWORD Timestamp = 0;  // milliseconds since the input was started
  WORD SysexSize = 0;
  BYTE* SysexData = nullptr;
};
