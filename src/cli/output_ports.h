#pragma once

#include <optional>
#include <string>
#include <vector>

class TMidiOutput;

namespace cli {

struct PortEntry {
  int index = 0;
  std::string name;     // whole, as the service shows it
  std::string address;  // "20:0" on ALSA, as aconnect prints it; empty elsewhere
  std::string technology;
};

// The output devices in device order, as the editor's output list shows them
// (the mapper is not listed).
std::vector<PortEntry> ListOutputPorts();

// A port that could not be chosen: the exit code and what to tell the user
// (the candidates or the ports there are).
struct PortNotChosen {
  int code;
  std::string what;
};

// Puts the closed port on the device named by `choice` and returns it: its
// index, its address, its whole name (any case), else the one port whose name
// starts with it, else the one whose name holds it. Without a choice, the
// device the editor opens at start-up (the first MIDI port). Raises
// PortNotChosen for none (exit 1) or more than one (exit 2).
PortEntry ChoosePort(TMidiOutput& port, const std::optional<std::string>& choice);

// "  0  MIDI Port      VirMIDI 0-0" lines, with the address after the index
// where the service has addresses, for listings and for errors.
std::string PortTable(const std::vector<PortEntry>& ports, int editorDefault);

}  // namespace cli
