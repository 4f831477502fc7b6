#pragma once

// A port's hidden notification window: a handle that any thread can post a
// message to without waiting, and whose messages reach one method of the port
// on the GUI thread when it is back in its event loop.

#include <cstdint>
#include <functional>

#include "midi/platform/mmsystem.h"

#ifdef _WIN32
// The windows are the editor's own on Windows too: their messages must be Qt
// events, which a transfer's event hold can keep back. The names come from
// <windows.h>; posting goes to ours.
#define PostMessageA TqxPostMessageA
#else
struct HWND__;
using HWND = HWND__*;
using WPARAM = std::uintptr_t;
using LPARAM = std::intptr_t;
using LRESULT = std::intptr_t;

inline constexpr UINT WM_USER = 0x0400;
#endif

struct TMessage {
  UINT Msg = 0;
  WPARAM WParam = 0;
  LPARAM LParam = 0;
  LRESULT Result = 0;
};
using TWndMethod = std::function<void(TMessage& Message)>;

// GUI thread. An exception leaving Method goes to the default error report.
HWND AllocateHWnd(TWndMethod Method);
// GUI thread. Messages still pending are dropped; later posts to Wnd fail.
void DeallocateHWnd(HWND Wnd);
// GUI thread: delivers the messages pending for Wnd now, in the order posted.
void DispatchPostedMessages(HWND Wnd);
// Any thread; never waits for the GUI thread. False when Wnd does not exist.
BOOL PostMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam);
