#include "cli/input_files.h"

#include <unistd.h>

#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "cli/interrupts.h"
#include "config/record_fields.h"
#include "files/config_images.h"
#include "files/file_io.h"
#include "protocol/parameter_map.h"
#include "protocol/parameter_message.h"

namespace cli {

namespace {

// Bigger than any dump of every parameter of the map; a dump beyond it is not ours.
constexpr size_t kLargestDump = 64 * 1024;
constexpr int kDeviceIdField = param::DEVICE_ID - param::CONFIG_FIRST;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string DisplayName(const std::string& path) {
  return IsStandardInput(path) ? "standard input" : path;
}

// Up to `limit` bytes of the file; `more` tells whether it holds more than that.
std::vector<uint8_t> ReadBytes(const std::string& path, size_t limit, bool& more) {
  files::ReadOutcome outcome = IsStandardInput(path)
                                   ? files::ReadFrom(STDIN_FILENO, limit, Interrupted)
                                   : files::ReadFile(path, limit, Interrupted);
  if (outcome.cancelled) throw ReadInterrupted{};
  if (!outcome.error.empty()) throw InputError(DisplayName(path), -1, outcome.error);
  more = outcome.more;
  return std::move(outcome.bytes);
}

// The form of standard input, from its first bytes or its size.
FileKind SniffedKind(const std::vector<uint8_t>& bytes) {
  if (bytes.size() >= 3 && bytes[0] == 0xF0 && bytes[1] == 0x70 && bytes[2] == 0x7B)
    return FileKind::Sysex;
  if (bytes.size() == CONFIG_FILE_SIZE) return FileKind::Config;
  if (bytes.size() == static_cast<size_t>(kTableSize)) return FileKind::Table;
  throw InputError("standard input", -1,
                   "cannot tell its form from " + std::to_string(bytes.size()) +
                       " bytes (give --type tqc, syx, 3cv or tqx)");
}

// Configurations and tables: the first `size` bytes are used, as the editor loads them.
void ExpectSize(InputFile& file, size_t size, bool more, const char* what, std::ostream& warnings) {
  if (file.bytes.size() < size)
    throw InputError(DisplayName(file.path), static_cast<long>(file.bytes.size()),
                     std::string(what) + " has " + std::to_string(size) + " bytes, this one only " +
                         std::to_string(file.bytes.size()));
  if (file.bytes.size() > size || more) {
    warnings << "tqx512: warning: " << DisplayName(file.path) << ": longer than " << size
             << " bytes; the first " << size << " are used, as the editor does\n";
    file.bytes.resize(size);
  }
}

void CheckRecordByte(const std::string& path, long offset, int field, uint8_t byte) {
  if (const auto problem = record_fields::Problem(field, byte))
    throw InputError(DisplayName(path), offset, *problem);
}

void ReadConfig(InputFile& file) {
  for (int i = 0; i < param::CONFIG_COUNT; ++i) {
    CheckRecordByte(file.path, i, i, file.bytes[i]);
    file.record[i] = file.bytes[i];  // only the low eight bits ever travel
  }
  file.hasRecord = true;
}

void ReadSysex(InputFile& file, bool more) {
  const auto& b = file.bytes;
  const std::string name = DisplayName(file.path);
  if (more) throw InputError(name, -1, "too large for a dump (over " + std::to_string(kLargestDump) + " bytes)");
  if (b.empty()) throw InputError(name, 0, "empty: no parameter message");
  std::array<bool, param::CONFIG_COUNT> seen{};
  for (size_t at = 0; at < b.size(); at += sizeof(ParameterMessage)) {
    const auto fail = [&](size_t i, const std::string& what) {
      throw InputError(name, static_cast<long>(at + i), what);
    };
    if (b.size() - at < sizeof(ParameterMessage))
      fail(0, "truncated message: " + std::to_string(b.size() - at) + " of 8 bytes");
    static constexpr uint8_t kHeader[3] = {0xF0, 0x70, 0x7B};
    for (size_t i = 0; i < 3; ++i)
      if (b[at + i] != kHeader[i])
        fail(i, "wrong header byte " + HexByte(b[at + i]) + ", expected " + HexByte(kHeader[i]));
    for (size_t i = 3; i < 7; ++i)
      if (b[at + i] & 0x80) fail(i, "data byte " + HexByte(b[at + i]) + " has the high bit set");
    if (b[at + 7] != 0xF7) fail(7, "byte " + HexByte(b[at + 7]) + " where the message ends with F7");
    if (b[at + 3] > 0x0F) fail(3, "device byte " + HexByte(b[at + 3]) + " is above 0F");
    for (size_t i = 5; i < 7; ++i)
      if (b[at + i] > 0x0F) fail(i, "value half " + HexByte(b[at + i]) + " is above 0F");
    const int parameter = b[at + 4];
    const auto value = static_cast<uint8_t>(b[at + 5] | b[at + 6] << 4);
    const bool config = parameter >= param::CONFIG_FIRST &&
                        parameter < param::CONFIG_FIRST + param::CONFIG_COUNT;
    const bool table = parameter >= param::TABLE_FIRST && parameter < param::TABLE_FIRST + kTableSize;
    if (config) {
      CheckRecordByte(file.path, static_cast<long>(at + 5), parameter - param::CONFIG_FIRST, value);
      file.record[parameter - param::CONFIG_FIRST] = value;
      seen[parameter - param::CONFIG_FIRST] = true;
    } else if (parameter == param::COMMAND) {
      if (value != param::WRITE_TO_FLASH)
        fail(5, "command " + std::to_string(value) + " is not \"Write to Flash\" (52)");
    } else if (!table) {
      fail(4, "parameter " + std::to_string(parameter) + " is outside the map (32..111, 127)");
    }
    ParameterMessage message;
    std::copy_n(b.begin() + static_cast<long>(at), message.size(), message.begin());
    file.messages.push_back(message);
  }
  file.hasRecord = std::all_of(seen.begin(), seen.end(), [](bool s) { return s; });
}

}  // namespace

std::optional<FileKind> KindOf(const std::string& path) {
  const std::string suffix = Upper(QFileInfo(QString::fromStdString(path)).suffix().toStdString());
  if (suffix == "TQC") return FileKind::Config;
  if (suffix == "SYX") return FileKind::Sysex;
  if (suffix == "3CV" || suffix == "TQX") return FileKind::Table;
  return std::nullopt;
}

InputError::InputError(const std::string& path, long offset, const std::string& what)
    : std::runtime_error(path + (offset >= 0 ? ": offset " + std::to_string(offset) : "") + ": " +
                         what) {}

InputFile ReadInputFile(const std::string& path, std::ostream& warnings, std::optional<FileKind> kind) {
  InputFile file;
  file.path = path;
  if (!kind) kind = KindOf(path);
  if (!kind && !IsStandardInput(path))
    throw InputError(path, -1, "unknown file type (.TQC, .SYX, .3CV or .TQX)");
  size_t limit = kLargestDump;
  if (kind == FileKind::Config) limit = CONFIG_FILE_SIZE;
  if (kind == FileKind::Table) limit = kTableSize;
  bool more = false;
  file.bytes = ReadBytes(path, limit, more);
  file.kind = kind ? *kind : SniffedKind(file.bytes);
  switch (file.kind) {
    case FileKind::Config:
      ExpectSize(file, CONFIG_FILE_SIZE, more, "a configuration file", warnings);
      ReadConfig(file);
      break;
    case FileKind::Table:
      ExpectSize(file, kTableSize, more, "a note table file", warnings);
      file.table = TableFromFileImage(file.bytes);
      break;
    case FileKind::Sysex: ReadSysex(file, more); break;
  }
  return file;
}

std::optional<int> OwnDeviceId(const InputFile& file) {
  switch (file.kind) {
    case FileKind::Config: return file.record[kDeviceIdField] + 1;
    case FileKind::Sysex:
      // Parameter 34 holds the whole ID; the device bytes only its low four bits.
      if (file.hasRecord) return file.record[kDeviceIdField] + 1;
      if (file.messages.empty()) return std::nullopt;
      return file.messages.front()[3] + 1;
    case FileKind::Table: break;
  }
  return std::nullopt;
}

void SetDeviceId(InputFile& file, int deviceId) {
  if (file.hasRecord) file.record[kDeviceIdField] = deviceId - 1;
  for (ParameterMessage& message : file.messages) {
    const int parameter = message[4];
    const int value = parameter == param::DEVICE_ID ? deviceId - 1 : message[5] | message[6] << 4;
    message = BuildParameterMessage(deviceId - 1, parameter, value);
  }
}

bool IsWriteToFlash(const ParameterMessage& message) {
  return message[4] == param::COMMAND && (message[5] | message[6] << 4) == param::WRITE_TO_FLASH;
}

}  // namespace cli
