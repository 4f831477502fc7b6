#include "cli/interrupts.h"

#include <csignal>

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#endif

namespace cli {

namespace {

volatile std::sig_atomic_t interrupted = 0;

#ifdef _WIN32
// Runs on a thread of its own that Windows starts for the console event.
BOOL WINAPI OnConsoleEvent(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) {
    return FALSE;
  }
  interrupted = 1;
  return TRUE;
}
#else
void OnInterrupt(int) { interrupted = 1; }
#endif

}  // namespace

#ifdef _WIN32
// Ctrl+C, Ctrl+Break and closing the console window. A console closed under
// the tool ends it shortly after the handler returns, whatever it answers.
void CatchInterrupts() { SetConsoleCtrlHandler(OnConsoleEvent, TRUE); }
#else
void CatchInterrupts() {
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no SA_RESTART: a read of standard input returns to look at the flag
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}
#endif

bool Interrupted() { return interrupted != 0; }

}  // namespace cli
