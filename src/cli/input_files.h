#pragma once

#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "config/config_record.h"
#include "protocol/parameter_message.h"
#include "table/note_table.h"

namespace cli {

// The file forms the tool reads, by extension (any case).
enum class FileKind { Config, Sysex, Table };

std::optional<FileKind> KindOf(const std::string& path);

// The name "-" stands for standard input.
inline bool IsStandardInput(const std::string& path) { return path == "-"; }

// A file that cannot be used as it stands: its path, the byte offset where the
// fault lies, and what is wrong there.
class InputError : public std::runtime_error {
 public:
  InputError(const std::string& path, long offset, const std::string& what);
};

// Reading stopped because the user interrupted the tool.
struct ReadInterrupted {};

struct InputFile {
  std::string path;
  FileKind kind = FileKind::Config;
  std::vector<uint8_t> bytes;               // what is used of the file
  TConfigRecord record{};                   // Config; Sysex when it holds 32..63
  bool hasRecord = false;
  TNoteTable table{};                       // Table
  std::vector<ParameterMessage> messages;   // Sysex, as they stand
};

// Reads the file ("-": standard input, whose form comes from `kind` or else from
// its bytes) and checks every byte it uses: a configuration's first 32 bytes,
// each within what the editor writes there; a table's first 48 (more bytes are
// left unread, as the editor does, with a warning on `warnings`); a SysEx dump
// that is whole well-formed parameter messages for parameters of the map
// (32..111 and the command), each value within its range. Raises InputError for
// the first fault found, and for a file that cannot be read, with the system's
// reason.
InputFile ReadInputFile(const std::string& path, std::ostream& warnings,
                        std::optional<FileKind> kind = std::nullopt);

// The device ID (1..128) the file addresses on its own: a configuration's
// byte 2 + 1, a dump's parameter 34 + 1 (else its first message's device + 1);
// none for a table.
std::optional<int> OwnDeviceId(const InputFile& file);

// Makes the file address deviceId (1..128) alone: a configuration's byte 2, and
// in a dump every message's device byte and the value of parameter 34.
void SetDeviceId(InputFile& file, int deviceId);

// Whether the message is "Write to Flash".
bool IsWriteToFlash(const ParameterMessage& message);

}  // namespace cli
