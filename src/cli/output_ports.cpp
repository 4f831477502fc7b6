#include "cli/output_ports.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cstdio>

#include "cli/tool.h"
#include "midi/midi_output.h"
#include "midi/platform/device_info.h"

namespace cli {

namespace {

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::optional<int> Number(const std::string& text) {
  int number = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// The ports that answer to `choice`, by the first rule that finds any.
std::vector<PortEntry> Matching(const std::vector<PortEntry>& ports, const std::string& choice) {
  const std::string wanted = Lower(choice);
  using Rule = bool (*)(const PortEntry&, const std::string&);
  const Rule rules[] = {
      [](const PortEntry& p, const std::string& w) { return !p.address.empty() && p.address == w; },
      [](const PortEntry& p, const std::string& w) { return Lower(p.name) == w; },
      [](const PortEntry& p, const std::string& w) { return Lower(p.name).rfind(w, 0) == 0; },
      [](const PortEntry& p, const std::string& w) { return Lower(p.name).find(w) != std::string::npos; },
  };
  if (const auto index = Number(choice)) {
    for (const PortEntry& entry : ports)
      if (entry.index == *index) return {entry};
  }
  for (const Rule rule : rules) {
    std::vector<PortEntry> found;
    std::copy_if(ports.begin(), ports.end(), std::back_inserter(found),
                 [&](const PortEntry& entry) { return rule(entry, wanted); });
    if (!found.empty()) return found;
  }
  return {};
}

}  // namespace

std::vector<PortEntry> ListOutputPorts() {
  std::vector<PortEntry> ports;
  const UINT count = midiOutGetNumDevs();
  for (UINT i = 0; i < count; ++i) {
    MIDIOUTCAPSA caps{};
    MidiDeviceInfo info;
    if (midiOutGetDevCapsA(i, &caps, sizeof caps) != MMSYSERR_NOERROR ||
        midiOutGetDevInfo(i, info) != MMSYSERR_NOERROR)
      continue;  // gone while listing
    const auto tech = static_cast<size_t>(caps.wTechnology);
    ports.push_back({static_cast<int>(i), info.name, info.address,
                     tech < TechName.size() ? TechName[tech] : "unknown"});
  }
  return ports;
}

PortEntry ChoosePort(TMidiOutput& port, const std::optional<std::string>& choice) {
  const std::vector<PortEntry> ports = ListOutputPorts();
  const std::string all = ports.empty() ? std::string("  (none)\n") : PortTable(ports, -1);
  if (!choice) {
    try {
      port.SetTechnology(opt_MidiPort);  // the editor's own choice at start-up
    } catch (const EmidioutputError& error) {
      throw PortNotChosen{kSendFailed, std::string(error.what()) + "; the ports are:\n" + all};
    }
    for (const PortEntry& entry : ports)
      if (entry.index == port.DeviceID()) return entry;
    return {port.DeviceID(), port.ProductName(), {}, TechName[opt_MidiPort]};
  }
  const std::vector<PortEntry> found = Matching(ports, *choice);
  if (found.empty())
    throw PortNotChosen{kSendFailed, "no output port \"" + *choice + "\"; the ports are:\n" + all};
  if (found.size() > 1)
    throw PortNotChosen{kBadInput, "\"" + *choice + "\" matches " + std::to_string(found.size()) +
                                       " ports; give one's index or address:\n" + PortTable(found, -1)};
  port.SetDeviceID(found.front().index);
  return found.front();
}

std::string PortTable(const std::vector<PortEntry>& ports, int editorDefault) {
  const bool addresses = std::any_of(ports.begin(), ports.end(),
                                     [](const PortEntry& entry) { return !entry.address.empty(); });
  std::string table;
  for (const PortEntry& entry : ports) {
    char address[32] = "";
    if (addresses) std::snprintf(address, sizeof address, "%-7s  ", entry.address.c_str());
    char line[512];
    std::snprintf(line, sizeof line, "%3d  %s%-17s  %s%s\n", entry.index, address,
                  entry.technology.c_str(), entry.name.c_str(),
                  entry.index == editorDefault ? "  (the editor's output)" : "");
    table += line;
  }
  return table;
}

}  // namespace cli
