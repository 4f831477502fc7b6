#pragma once

#include <atomic>
#include <cstdint>

#include "midi/platform/mmsystem.h"

// One received event: a short message, or a SysEx buffer the device filled.
struct TMidiBufferItem {
  DWORD Timestamp;  // ms since the input was started
  DWORD ShortData;  // status, data 1, data 2 in bits 0-23; 0 for SysEx
  MIDIHDR* SysexHeader;  // null for a short message
};

// The ring buffer between the callback thread (the only writer of PutPos) and the
// GUI thread (the only writer of GetPos). Count is atomic: the writer counts an
// item only once it is complete, and the reader frees a slot only once it has
// copied it out.
struct TCircularBuffer {
  HGLOBAL OwnHandle;
  HGLOBAL ItemsHandle;
  TMidiBufferItem* ItemsStart;
  TMidiBufferItem* ItemsEnd;
  TMidiBufferItem* PutPos;
  TMidiBufferItem* GetPos;
  uint16_t ErrorCode;
  uint16_t Capacity;
  std::atomic<uint16_t> Count;
};

// Capacity is limited by the 16-bit allocation size: at most 5461 items.
TCircularBuffer* CircbufAlloc(uint16_t capacity);
void CircbufFree(TCircularBuffer* buffer);
// Callback thread only; false when full.
bool CircbufPutEvent(TCircularBuffer* buffer, const TMidiBufferItem& item);
// GUI thread only: copies the oldest item without removing it.
bool CircbufReadEvent(TCircularBuffer* buffer, TMidiBufferItem& item);
// GUI thread only: drops the oldest item.
bool CircbufRemoveEvent(TCircularBuffer* buffer);
