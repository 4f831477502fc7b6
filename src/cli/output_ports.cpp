#include "cli/output_ports.h"

#include <charconv>
#include <cstdio>

#include "midi/midi_output.h"

namespace cli {

std::vector<PortEntry> ListOutputPorts(TMidiOutput& port) {
  std::vector<PortEntry> ports;
  const int count = static_cast<int>(midiOutGetNumDevs());
  for (int i = 0; i < count; ++i) {
    port.SetDeviceID(i);
    const auto tech = static_cast<size_t>(port.Technology());
    ports.push_back({i, port.ProductName(), tech < TechName.size() ? TechName[tech] : "unknown"});
  }
  return ports;
}

void ChooseEditorPort(TMidiOutput& port) { port.SetTechnology(opt_MidiPort); }

bool ChoosePort(TMidiOutput& port, const std::string& choice) {
  const std::vector<PortEntry> ports = ListOutputPorts(port);
  int index = -1;
  const auto [end, error] = std::from_chars(choice.data(), choice.data() + choice.size(), index);
  const bool number = !choice.empty() && error == std::errc() && end == choice.data() + choice.size();
  for (const PortEntry& entry : ports) {
    if ((number && entry.index == index) || (!number && entry.name == choice)) {
      port.SetDeviceID(entry.index);
      return true;
    }
  }
  return false;
}

std::string PortTable(const std::vector<PortEntry>& ports, int editorDefault) {
  std::string table;
  for (const PortEntry& entry : ports) {
    char line[256];
    std::snprintf(line, sizeof line, "%3d  %-17s  %s%s\n", entry.index, entry.technology.c_str(),
                  entry.name.c_str(), entry.index == editorDefault ? "  (the editor's output)" : "");
    table += line;
  }
  return table;
}

}  // namespace cli
