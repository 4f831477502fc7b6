// `tqx512 send`: files to the interface, each message followed by the pacing wait.
#include <algorithm>
#include <cstdio>
#include <sstream>

#include "cli/interrupts.h"
#include "cli/options.h"
#include "cli/output_ports.h"
#include "cli/verbs.h"
#include "files/config_images.h"
#include "midi/midi_output.h"
#include "protocol/paced_send.h"
#include "protocol/pacing_clock.h"
#include "protocol/parameter_map.h"
#include "ui/console_dialogs.h"

namespace cli {

namespace {

constexpr const char* kHelp =
    "usage: tqx512 send FILE... [--port PORT] [--device-id 1..128] [--flash] [--dry-run]\n"
    "                           [--type tqc|syx|3cv|tqx]\n"
    "\n"
    "Sends configurations (.TQC: parameters 32..63; .SYX: its messages) and note\n"
    "tables (.3CV, .TQX: parameters 64..111) in the order given, each message followed\n"
    "by a 100 ms wait. Every file is read and checked before anything is sent.\n"
    "FILE - is standard input (its form from --type, else from its bytes).\n"
    "\n"
    "  --port PORT     the output: its index or address (see `tqx512 ports`), its\n"
    "                  name in any case, or the start or a part of the name of one\n"
    "                  port; default: the one the editor opens\n"
    "  --device-id N   the interface's device ID, 1..128, for every message (and\n"
    "                  parameter 34); default: the files' own, 1 for tables alone\n"
    "  --flash         end with \"Write to Flash\" (unless the last message is one)\n"
    "  --dry-run       print the messages, one a line, and open no port\n"
    "\n"
    "Ctrl+C stops after the message in flight.\n";

void DrawProgress(std::ostream& err, size_t done, size_t total) {
  constexpr size_t kWidth = 30;
  const size_t filled = total ? done * kWidth / total : kWidth;
  char line[128];
  std::snprintf(line, sizeof line, "\r[%s%s] %zu/%zu messages, %.1f s left ",
                std::string(filled, '#').c_str(), std::string(kWidth - filled, '.').c_str(), done,
                total, static_cast<double>(total - done) * kPacingMilliseconds / 1000.0);
  err << line << std::flush;
}

// The output port, counting the messages its service reports delivered. A
// notice of a message delivered nowhere raises the port's error on the way to
// the error report, every time: the port's memory of the last failure is
// cleared before each notice is judged.
class CountingPort : public TMidiOutput {
 public:
  CountingPort() : TMidiOutput(nullptr) {
    Onmidioutput = [this](TObject*) {
      Settle();
      judging_ = true;
      FError = MMSYSERR_NOERROR;
    };
  }
  // Hands the notices that have come so far to their handler.
  void Drain() {
    DispatchPostedMessages(FNotifyWindow);
    Settle();
  }
  size_t Delivered() const { return delivered_; }

 private:
  // The last notice left an error behind only if its message went nowhere.
  void Settle() {
    if (judging_) delivered_ += FError == MMSYSERR_NOERROR;
    judging_ = false;
  }
  size_t delivered_ = 0;
  bool judging_ = false;
};

}  // namespace

std::vector<ParameterMessage> MessagesOf(const InputFile& file, int tableDevice) {
  std::vector<ParameterMessage> messages;
  switch (file.kind) {
    case FileKind::Config: {
      // The dump and the full transfer are the same messages.
      const std::vector<uint8_t> dump = SysexDumpImage(file.record, *OwnDeviceId(file) - 1, false);
      for (size_t at = 0; at < dump.size(); at += sizeof(ParameterMessage)) {
        ParameterMessage message;
        std::copy_n(dump.begin() + static_cast<long>(at), message.size(), message.begin());
        messages.push_back(message);
      }
      break;
    }
    case FileKind::Table:
      for (int i = 0; i < kTableSize; ++i)
        messages.push_back(BuildParameterMessage(tableDevice, param::TABLE_FIRST + i, file.table[i]));
      break;
    case FileKind::Sysex: messages = file.messages; break;
  }
  return messages;
}

int RunSend(const std::vector<std::string>& args, Io& io) {
  const Options options =
      ParseOptions(args, {"help", "flash", "dry-run"}, {"port", "device-id", "type"});
  if (options.Has("help")) {
    io.out << kHelp;
    return kSuccess;
  }
  if (options.operands.empty()) throw UsageError{"no file given"};
  const std::optional<int> deviceId = DeviceIdOption(options);
  const std::optional<FileKind> type = TypeOption(options);
  if (std::count_if(options.operands.begin(), options.operands.end(), IsStandardInput) > 1)
    throw UsageError{"standard input (-) can be given once"};

  // Bad input never sends a byte: every file is checked before the port opens.
  std::vector<InputFile> files;
  for (const std::string& path : options.operands)
    files.push_back(ReadInputFile(path, io.err, IsStandardInput(path) ? type : std::nullopt));
  // One send speaks to one interface: a table goes where the configuration
  // beside it goes, and files made for two interfaces need --device-id.
  const auto shown = [](const std::string& path) { return path == "-" ? "standard input" : path; };
  std::optional<int> ownId;
  std::string ownIdFile;
  for (size_t i = 0; i < files.size() && !deviceId; ++i) {
    const std::optional<int> id = OwnDeviceId(files[i]);
    if (!id) continue;
    if (ownId && *id != *ownId)
      throw UsageError{shown(ownIdFile) + " is for device ID " + std::to_string(*ownId) + " and " +
                       shown(options.operands[i]) + " for device ID " + std::to_string(*id) +
                       "; give --device-id to send both to one interface"};
    ownId = id;
    ownIdFile = options.operands[i];
  }
  std::vector<ParameterMessage> messages;
  for (InputFile& file : files) {
    if (deviceId) SetDeviceId(file, *deviceId);
    const std::vector<ParameterMessage> more = MessagesOf(file, deviceId.value_or(ownId.value_or(1)) - 1);
    messages.insert(messages.end(), more.begin(), more.end());
  }
  if (options.Has("flash") && (messages.empty() || !IsWriteToFlash(messages.back()))) {
    // To the interface the last message went to.
    const int device = deviceId ? *deviceId - 1 : messages.empty() ? 0 : messages.back()[3];
    messages.push_back(BuildParameterMessage(device, param::COMMAND, param::WRITE_TO_FLASH));
  }

  if (options.Has("dry-run")) {
    for (const ParameterMessage& message : messages) io.out << HexBytes(message) << '\n';
    return kSuccess;
  }

  CountingPort port;
  int code = kSuccess;
  const std::optional<PortEntry> chosen = ConnectAndChoosePort(io, port, options.Value("port"), code);
  if (!chosen) return code;

  // The notices' reports are gathered here and told once, with the count.
  std::ostringstream notices;
  ui::ConsoleDialogs gathered(notices);
  ui::Dialogs& previous = ui::Dialogs::Current();
  ui::Dialogs::Install(&gathered);
  std::string failure;
  bool stopped = false;
  try {
    if (!port.Open()) throw EmidioutputError(port.midioutErrorString(port.Error()));
    if (io.progress) DrawProgress(io.err, 0, messages.size());
    const PacingPriority priority;  // once for the whole send, as the editor's transfers
    size_t handed = 0;
    for (const ParameterMessage& message : messages) {
      if ((stopped = Interrupted())) break;
      SendPacedMessage(port, message, [&] {
        if (io.progress) DrawProgress(io.err, handed + 1, messages.size());
      });
      ++handed;
      port.Drain();
      if (gathered.ErrorCount() > 0) break;
    }
  } catch (const std::exception& error) {
    failure = error.what();
  }
  try {
    port.Close();  // every message is reported by now
  } catch (const std::exception& error) {
    if (failure.empty()) failure = error.what();
  }
  port.Drain();
  ui::Dialogs::Install(&previous);
  if (gathered.ErrorCount() > 0 && failure.empty()) failure = gathered.FirstError();

  if (io.progress) io.err << '\n';
  const auto count = [&] {
    io.err << " (" << port.Delivered() << " of " << messages.size() << " messages sent to \""
           << chosen->name << "\")\n";
  };
  if (!failure.empty()) {
    io.err << "tqx512: " << failure;
    count();
    return kSendFailed;
  }
  if (stopped) {
    io.err << "tqx512: interrupted";
    count();
    return kInterrupted;
  }
  return kSuccess;
}

}  // namespace cli
