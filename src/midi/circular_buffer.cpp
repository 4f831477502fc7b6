#include "midi/circular_buffer.h"

#include <new>

#include "midi/midi_memory.h"

namespace {

// Items were 12 bytes where a 16-bit allocation size capped the buffer at 5461 of
// them; the cap stays, though items with 64-bit addresses are larger.
constexpr uint16_t kMaxCapacity = 0xFFFF / 12;

void* AllocItems(uint16_t capacity, HGLOBAL& handle) {
  handle = nullptr;
  if (capacity == 0 || capacity > kMaxCapacity) return nullptr;
  handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE,
                       std::size_t{capacity} * sizeof(TMidiBufferItem));
  if (!handle) return nullptr;
  void* items = GlobalLock(handle);
  if (!items) {
    GlobalFree(handle);
    handle = nullptr;
  }
  return items;
}

}  // namespace

TCircularBuffer* CircbufAlloc(uint16_t capacity) {
  HGLOBAL handle = nullptr;
  void* memory = GlobalSharedLockedAlloc(sizeof(TCircularBuffer), handle);
  if (!memory) return nullptr;
  auto* buffer = new (memory) TCircularBuffer{};
  buffer->OwnHandle = handle;
  void* items = AllocItems(capacity, buffer->ItemsHandle);
  if (!items) {
    buffer->~TCircularBuffer();
    GlobalSharedLockedFree(handle, memory);
    return nullptr;
  }
  buffer->ItemsStart = static_cast<TMidiBufferItem*>(items);
  buffer->ItemsEnd = buffer->ItemsStart + capacity;
  buffer->PutPos = buffer->ItemsStart;
  buffer->GetPos = buffer->ItemsStart;
  buffer->ErrorCode = 0;
  buffer->Capacity = capacity;
  buffer->Count.store(0, std::memory_order_relaxed);
  return buffer;
}

void CircbufFree(TCircularBuffer* buffer) {
  if (!buffer) return;
  GlobalSharedLockedFree(buffer->ItemsHandle, buffer->ItemsStart);
  HGLOBAL handle = buffer->OwnHandle;
  buffer->~TCircularBuffer();
  GlobalSharedLockedFree(handle, buffer);
}

bool CircbufPutEvent(TCircularBuffer* buffer, const TMidiBufferItem& item) {
  if (buffer->Count.load(std::memory_order_acquire) >= buffer->Capacity) return false;
  *buffer->PutPos = item;
  if (++buffer->PutPos == buffer->ItemsEnd) buffer->PutPos = buffer->ItemsStart;
  buffer->Count.fetch_add(1, std::memory_order_release);
  return true;
}

bool CircbufReadEvent(TCircularBuffer* buffer, TMidiBufferItem& item) {
  if (buffer->Count.load(std::memory_order_acquire) == 0) return false;
  item = *buffer->GetPos;
  return true;
}

bool CircbufRemoveEvent(TCircularBuffer* buffer) {
  if (buffer->Count.load(std::memory_order_acquire) == 0) return false;
  if (++buffer->GetPos == buffer->ItemsEnd) buffer->GetPos = buffer->ItemsStart;
  buffer->Count.fetch_sub(1, std::memory_order_release);
  return true;
}
