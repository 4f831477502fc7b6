#pragma once

namespace cli {

// From now on Ctrl+C (SIGINT) and SIGTERM only set a flag, which `send` reads
// between messages: it stops after the one in flight and closes its port.
void CatchInterrupts();

// True once either signal has come.
bool Interrupted();

}  // namespace cli
