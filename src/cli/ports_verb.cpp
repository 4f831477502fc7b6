// `tqx512 ports`: the output devices, and which one the editor would open.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "cli/options.h"
#include "cli/output_ports.h"
#include "cli/verbs.h"
#include "midi/midi_output.h"
#include "midi/platform/midi_backend.h"

namespace cli {

namespace {

constexpr const char* kHelp =
    "usage: tqx512 ports [--json]\n"
    "\n"
    "Lists the MIDI output devices in device order: index, address (ALSA's\n"
    "client:port), technology and whole name, and marks the one the editor opens\n"
    "at start-up (the first MIDI port). `send --port` takes any of the first,\n"
    "second or last.\n";

}  // namespace

int RunPorts(const std::vector<std::string>& args, Io& io) {
  const Options options = ParseOptions(args, {"help", "json"}, {});
  if (options.Has("help")) {
    io.out << kHelp;
    return kSuccess;
  }
  if (!options.operands.empty()) throw UsageError{"unexpected \"" + options.operands[0] + "\""};
  if (!ConnectMidi(io)) return kSendFailed;
  const std::vector<PortEntry> ports = ListOutputPorts();
  int editorDefault = -1;
  try {
    TMidiOutput port(nullptr);
    editorDefault = ChoosePort(port, std::nullopt).index;
  } catch (const PortNotChosen&) {
    // No MIDI port at all: the list still shows what there is.
  }
  if (options.Has("json")) {
    QJsonArray list;
    for (const PortEntry& entry : ports) {
      list.append(QJsonObject{
          {"index", entry.index},
          {"address", entry.address.empty() ? QJsonValue() : QString::fromStdString(entry.address)},
          {"name", QString::fromStdString(entry.name)},
          {"technology", QString::fromStdString(entry.technology)},
          {"editorDefault", entry.index == editorDefault}});
    }
    const QJsonObject root{{"service", QString::fromStdString(CurrentMidiBackend().Name())},
                           {"ports", list}};
    io.out << QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
    return kSuccess;
  }
  if (ports.empty()) {
    io.out << "no MIDI output devices (" << CurrentMidiBackend().Name() << ")\n";
    return kSuccess;
  }
  io.out << PortTable(ports, editorDefault);
  return kSuccess;
}

}  // namespace cli
