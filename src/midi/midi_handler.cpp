#include "midi/midi_handler.h"

#include <atomic>

#include "midi/circular_buffer.h"
#include "midi/midi_types.h"
#include "midi/notify_window.h"

namespace {

// ---- input: MIM_DATA, MIM_LONGDATA, MIM_LONGERROR ----
// Queues the event for the GUI thread and posts one notice for it; a full queue
// drops the event and posts an overflow notice instead. No allocation, no waiting.
void HandleInput(TMidiNotifyBlock& block, UINT message, DWORD_PTR param1, DWORD_PTR param2) {
  // Active Sensing and Timing Clock would flood the queue. For the long messages
  // param1 is a header address and never matches.
  if (param1 == 0xFE || param1 == 0xF8) return;
  if (message == MIM_DATA && std::atomic_ref<bool>(block.SysexOnly).load()) return;
  if (!block.Buffer) return;
  TMidiBufferItem item{};
  item.Timestamp = static_cast<DWORD>(param2);
  if (message == MIM_DATA) {
    item.ShortData = static_cast<DWORD>(param1);
  } else {
    // An incomplete SysEx buffer (MIM_LONGERROR) is queued like a complete one.
    item.SysexHeader = reinterpret_cast<MIDIHDR*>(param1);
  }
  if (CircbufPutEvent(block.Buffer, item))
    PostMessageA(block.NotifyWindow, MIM_DATA, 0, 0);
  else
    PostMessageA(block.NotifyWindow, WM_USER, 0, 0);
}

}  // namespace

void midiHandler(HDRVR /*hdl*/, UINT uMsg, DWORD_PTR dwInstance, DWORD_PTR dwParam1,
                 DWORD_PTR dwParam2) {
  auto* block = reinterpret_cast<TMidiNotifyBlock*>(dwInstance);
  if (!block) return;
  switch (uMsg) {
    // ---- output ----
    case MOM_DONE:
      // The header goes back to the GUI thread, which unprepares and frees it;
      // with it goes why it reached no device, if it did not.
      PostMessageA(block->NotifyWindow, MOM_DONE, static_cast<WPARAM>(dwParam2),
                   static_cast<LPARAM>(dwParam1));
      return;

    case MIM_DATA:
    case MIM_LONGDATA:
    case MIM_LONGERROR:
      HandleInput(*block, uMsg, dwParam1, dwParam2);
      return;

    default:  // MOM_OPEN, MOM_CLOSE, MIM_OPEN, MIM_CLOSE, MIM_ERROR, MIM_MOREDATA
      return;
  }
}
