#pragma once

#include <string>
#include <vector>

class TMidiOutput;

namespace cli {

struct PortEntry {
  int index = 0;
  std::string name;
  std::string technology;
};

// The output devices in device order, as the editor's output list shows them
// (the mapper is not listed).
std::vector<PortEntry> ListOutputPorts(TMidiOutput& port);

// Puts the closed port on the device the editor opens at start-up (the first
// MIDI port, mapper first). Raises the port's error when there is none.
void ChooseEditorPort(TMidiOutput& port);

// Puts the closed port on the device named by `choice`: its index in the list,
// or its exact name. False when no device answers to it.
bool ChoosePort(TMidiOutput& port, const std::string& choice);

// "  0  MIDI Port      VirMIDI 0-0" lines, for listings and for errors that
// name a port that is not there.
std::string PortTable(const std::vector<PortEntry>& ports, int editorDefault);

}  // namespace cli
