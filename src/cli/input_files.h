#pragma once

#include <optional>
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

// A file that cannot be used as it stands: its path, the byte offset where the
// fault lies, and what is wrong there.
class InputError : public std::runtime_error {
 public:
  InputError(const std::string& path, long offset, const std::string& what);
};

struct InputFile {
  std::string path;
  FileKind kind = FileKind::Config;
  std::vector<uint8_t> bytes;               // the whole file
  TConfigRecord record{};                   // Config; Sysex when it holds 32..63
  bool hasRecord = false;
  TNoteTable table{};                       // Table
  std::vector<ParameterMessage> messages;   // Sysex, as they stand
};

// Reads the whole file and checks every byte of it: a configuration of exactly
// 32 bytes, each within what the editor writes there; a table of exactly 48;
// a SysEx dump that is whole well-formed parameter messages for parameters of
// the map (32..111 and the command), each value within its range. Raises
// InputError for the first fault found.
InputFile ReadInputFile(const std::string& path);

}  // namespace cli
