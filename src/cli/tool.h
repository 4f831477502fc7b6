#pragma once

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// The command-line tool: the editor's messages, files and pacing without its window.
namespace cli {

enum ExitCode : int {
  kSuccess = 0,
  kSendFailed = 1,  // a port, service or send failure, or an output that could not be written
  kBadInput = 2,    // bad usage or a file that cannot be used
  kInterrupted = 130,  // Ctrl+C or SIGTERM, as a shell reports a process ended by SIGINT
};

struct Io {
  std::ostream& out;
  std::ostream& err;
  // Standard error is a terminal: `send` draws its progress bar there.
  bool progress = false;
  // Brings up the MIDI service; only the verbs that reach a port call it.
  std::function<void()> connectMidi;
  // Why it found no service, for the one line that says so.
  std::string noServiceWhy = {};
};

// args without the program name.
int Run(const std::vector<std::string>& args, Io& io);

}  // namespace cli
