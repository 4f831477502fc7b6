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
    "Lists the MIDI output devices in device order: index, technology and name, and\n"
    "marks the one the editor opens at start-up (the first MIDI port).\n";

}  // namespace

int RunPorts(const std::vector<std::string>& args, Io& io) {
  const Options options = ParseOptions(args, {"help", "json"}, {});
  if (options.Has("help")) {
    io.out << kHelp;
    return kSuccess;
  }
  if (!options.operands.empty()) throw UsageError{"ports: unexpected \"" + options.operands[0] + "\""};
  if (io.connectMidi) io.connectMidi();
  TMidiOutput port(nullptr);
  std::vector<PortEntry> ports;
  int editorDefault = -1;
  try {
    ports = ListOutputPorts(port);
    ChooseEditorPort(port);
    editorDefault = port.DeviceID();
  } catch (const EmidioutputError&) {
    // No MIDI port at all: the list still shows what there is.
  }
  if (options.Has("json")) {
    QJsonArray list;
    for (const PortEntry& entry : ports) {
      list.append(QJsonObject{{"index", entry.index},
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
