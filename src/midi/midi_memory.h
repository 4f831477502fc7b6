#pragma once

// Memory that the MIDI callback or the driver reads or writes. A block stays at
// one address from allocation to release, whatever the GUI thread does meanwhile.

#include <cstddef>

#include "midi/platform/mmsystem.h"

#ifndef _WIN32
inline constexpr UINT GMEM_FIXED = 0x0000;
inline constexpr UINT GMEM_MOVEABLE = 0x0002;
inline constexpr UINT GMEM_ZEROINIT = 0x0040;
inline constexpr UINT GMEM_DDESHARE = 0x2000;

// The global memory calls, with their usual results: GlobalAlloc gives null on
// failure; GlobalLock gives null for an invalid handle or an empty block;
// GlobalUnlock is non-zero while the block stays locked; GlobalFree gives null on
// success and the handle back on failure. Blocks are always zero-filled.
HGLOBAL GlobalAlloc(UINT uFlags, std::size_t dwBytes);
void* GlobalLock(HGLOBAL hMem);
BOOL GlobalUnlock(HGLOBAL hMem);
HGLOBAL GlobalFree(HGLOBAL hMem);
// Blocks allocated and not yet freed (for leak checks).
std::size_t GlobalBlockCount();
#endif  // on Windows these are kernel32's own

// Allocates Size zero-filled bytes and locks them. Returns the address, or null
// with Handle 0 when the block cannot be allocated or locked.
void* GlobalSharedLockedAlloc(WORD Size, HGLOBAL& Handle);
// Unlocks and frees a block from GlobalSharedLockedAlloc; a 0 handle is ignored.
void GlobalSharedLockedFree(HGLOBAL Handle, void* Ptr);
