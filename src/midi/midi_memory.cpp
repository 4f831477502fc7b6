#include "midi/midi_memory.h"

#include <cstdint>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_map>

#ifndef _WIN32
namespace {

struct Block {
  std::unique_ptr<std::byte[]> data;
  std::size_t size = 0;
  unsigned locks = 0;
};

struct Blocks {
  std::mutex mutex;
  std::unordered_map<std::uintptr_t, Block> live;
  std::uintptr_t next = 0x10000;  // handles are never reused
};

Blocks& AllBlocks() {
  static Blocks blocks;
  return blocks;
}

Block* Find(Blocks& blocks, HGLOBAL handle) {
  auto found = blocks.live.find(reinterpret_cast<std::uintptr_t>(handle));
  return found == blocks.live.end() ? nullptr : &found->second;
}

}  // namespace

HGLOBAL GlobalAlloc(UINT /*uFlags*/, std::size_t dwBytes) {
  Block block;
  block.size = dwBytes;
  if (dwBytes > 0) {
    block.data.reset(new (std::nothrow) std::byte[dwBytes]());
    if (!block.data) return nullptr;
  }
  Blocks& blocks = AllBlocks();
  std::lock_guard lock(blocks.mutex);
  const std::uintptr_t id = blocks.next++;
  blocks.live.emplace(id, std::move(block));
  return reinterpret_cast<HGLOBAL>(id);
}

void* GlobalLock(HGLOBAL hMem) {
  Blocks& blocks = AllBlocks();
  std::lock_guard lock(blocks.mutex);
  Block* block = Find(blocks, hMem);
  if (!block || block->size == 0) return nullptr;  // an empty moveable block has no memory
  ++block->locks;
  return block->data.get();
}

BOOL GlobalUnlock(HGLOBAL hMem) {
  Blocks& blocks = AllBlocks();
  std::lock_guard lock(blocks.mutex);
  Block* block = Find(blocks, hMem);
  if (!block || block->locks == 0) return 0;
  return --block->locks != 0;
}

HGLOBAL GlobalFree(HGLOBAL hMem) {
  Blocks& blocks = AllBlocks();
  std::lock_guard lock(blocks.mutex);
  return blocks.live.erase(reinterpret_cast<std::uintptr_t>(hMem)) ? nullptr : hMem;
}

std::size_t GlobalBlockCount() {
  Blocks& blocks = AllBlocks();
  std::lock_guard lock(blocks.mutex);
  return blocks.live.size();
}
#endif

void* GlobalSharedLockedAlloc(WORD Size, HGLOBAL& Handle) {
  Handle = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT | GMEM_DDESHARE, Size);
  if (!Handle) return nullptr;
  void* address = GlobalLock(Handle);
  if (!address) {
    GlobalFree(Handle);
    Handle = nullptr;
  }
  return address;
}

void GlobalSharedLockedFree(HGLOBAL Handle, void* /*Ptr*/) {
  if (!Handle) return;
  GlobalUnlock(Handle);
  GlobalFree(Handle);
}
