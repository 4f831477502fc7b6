// `tqx512 send`: files to the interface, each message followed by the pacing wait.
#include <algorithm>
#include <cstdio>

#include "cli/options.h"
#include "cli/output_ports.h"
#include "cli/verbs.h"
#include "files/config_images.h"
#include "midi/midi_output.h"
#include "protocol/paced_send.h"
#include "protocol/pacing_clock.h"
#include "protocol/parameter_map.h"

namespace cli {

namespace {

constexpr const char* kHelp =
    "usage: tqx512 send FILE... [--port NAME|INDEX] [--device-id 1..128] [--flash] [--dry-run]\n"
    "\n"
    "Sends configurations (.TQC: parameters 32..63; .SYX: its messages as they stand)\n"
    "and note tables (.3CV, .TQX: parameters 64..111) in the order given, each message\n"
    "followed by a 100 ms wait. Every file is read and checked before anything is sent.\n"
    "\n"
    "  --port NAME|INDEX  the output (see `tqx512 ports`); default: the one the editor opens\n"
    "  --device-id N      the interface's device ID, 1..128 (default 1)\n"
    "  --flash            end with \"Write to Flash\"\n"
    "  --dry-run          print the messages, one a line, and open no port\n";

std::string HexLine(const ParameterMessage& message) {
  std::string text;
  for (uint8_t byte : message) {
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02X", byte);
    text += (text.empty() ? "" : " ") + std::string(hex);
  }
  return text;
}

void DrawProgress(std::ostream& err, size_t done, size_t total) {
  constexpr size_t kWidth = 30;
  const size_t filled = total ? done * kWidth / total : kWidth;
  char line[128];
  std::snprintf(line, sizeof line, "\r[%s%s] %zu/%zu messages, %.1f s left ",
                std::string(filled, '#').c_str(), std::string(kWidth - filled, '.').c_str(), done,
                total, static_cast<double>(total - done) * kPacingMilliseconds / 1000.0);
  err << line << std::flush;
}

}  // namespace

std::vector<ParameterMessage> MessagesOf(const InputFile& file, int device) {
  std::vector<ParameterMessage> messages;
  switch (file.kind) {
    case FileKind::Config: {
      // The dump and the full transfer are the same messages.
      const std::vector<uint8_t> dump = SysexDumpImage(file.record, device, false);
      for (size_t at = 0; at < dump.size(); at += sizeof(ParameterMessage)) {
        ParameterMessage message;
        std::copy_n(dump.begin() + static_cast<long>(at), message.size(), message.begin());
        messages.push_back(message);
      }
      break;
    }
    case FileKind::Table:
      for (int i = 0; i < kTableSize; ++i)
        messages.push_back(BuildParameterMessage(device, param::TABLE_FIRST + i, file.table[i]));
      break;
    case FileKind::Sysex: messages = file.messages; break;
  }
  return messages;
}

int RunSend(const std::vector<std::string>& args, Io& io) {
  const Options options = ParseOptions(args, {"help", "flash", "dry-run"}, {"port", "device-id"});
  if (options.Has("help")) {
    io.out << kHelp;
    return kSuccess;
  }
  if (options.operands.empty()) throw UsageError{"send: no file given"};
  const int device = DeviceIdOption(options) - 1;

  // Bad input never sends a byte: every file is checked before the port opens.
  std::vector<ParameterMessage> messages;
  for (const std::string& path : options.operands) {
    const std::vector<ParameterMessage> more = MessagesOf(ReadInputFile(path), device);
    messages.insert(messages.end(), more.begin(), more.end());
  }
  if (options.Has("flash"))
    messages.push_back(BuildParameterMessage(device, param::COMMAND, param::WRITE_TO_FLASH));

  if (options.Has("dry-run")) {
    for (const ParameterMessage& message : messages) io.out << HexLine(message) << '\n';
    return kSuccess;
  }

  if (io.connectMidi) io.connectMidi();
  TMidiOutput port(nullptr);
  size_t sent = 0;
  try {
    if (const auto choice = options.Value("port")) {
      if (!ChoosePort(port, *choice)) {
        const std::vector<PortEntry> ports = ListOutputPorts(port);
        io.err << "tqx512: no output port \"" << *choice << "\"; the ports are:\n"
               << (ports.empty() ? std::string("  (none)\n") : PortTable(ports, -1));
        return kBadInput;
      }
    } else {
      ChooseEditorPort(port);
    }
    if (!port.Open()) throw EmidioutputError(port.midioutErrorString(port.Error()));
    if (io.progress) DrawProgress(io.err, 0, messages.size());
    const PacingPriority priority;  // once for the whole send, as the editor's transfers
    for (const ParameterMessage& message : messages) {
      SendPacedMessage(port, message, [&] {
        if (io.progress) DrawProgress(io.err, sent + 1, messages.size());
      });
      ++sent;
    }
    port.Close();
  } catch (const std::exception& error) {
    if (io.progress) io.err << '\n';
    io.err << "tqx512: " << error.what() << " (" << sent << " of " << messages.size()
           << " messages sent";
    if (!port.ProductName().empty()) io.err << " to \"" << port.ProductName() << '"';
    io.err << ")\n";
    return kSendFailed;
  }
  if (io.progress) io.err << '\n';
  return kSuccess;
}

}  // namespace cli
