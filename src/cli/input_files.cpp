#include "cli/input_files.h"

#include <QFileInfo>
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "config/record_fields.h"
#include "files/config_images.h"
#include "protocol/parameter_map.h"

namespace cli {

namespace {

// Bigger than any dump of every parameter of the map; a file beyond it is not ours.
constexpr long kLargestInput = 64 * 1024;

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string Hex(uint8_t byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

std::vector<uint8_t> ReadAll(const std::string& path) {
  const QFileInfo info(QString::fromStdString(path));
  if (!info.exists()) throw InputError(path, -1, "no such file");
  if (!info.isFile()) throw InputError(path, -1, "not a regular file");
  if (info.size() > kLargestInput)
    throw InputError(path, -1, "too large (" + std::to_string(info.size()) + " bytes)");
  std::ifstream in(path, std::ios::binary);
  if (!in) throw InputError(path, -1, "cannot be opened for reading");
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) throw InputError(path, -1, "read error");
  return bytes;
}

void ExpectSize(const InputFile& file, size_t size, const char* what) {
  if (file.bytes.size() == size) return;
  throw InputError(file.path, static_cast<long>(std::min(file.bytes.size(), size)),
                   std::string(what) + " must be exactly " + std::to_string(size) +
                       " bytes, this one has " + std::to_string(file.bytes.size()));
}

void CheckRecordByte(const std::string& path, long offset, int field, uint8_t byte) {
  if (const auto problem = record_fields::Problem(field, byte)) throw InputError(path, offset, *problem);
}

void ReadConfig(InputFile& file) {
  ExpectSize(file, CONFIG_FILE_SIZE, "a configuration file");
  for (int i = 0; i < param::CONFIG_COUNT; ++i) {
    CheckRecordByte(file.path, i, i, file.bytes[i]);
    file.record[i] = file.bytes[i];  // only the low eight bits ever travel
  }
  file.hasRecord = true;
}

void ReadTable(InputFile& file) {
  ExpectSize(file, kTableSize, "a note table file");
  file.table = TableFromFileImage(file.bytes);
}

void ReadSysex(InputFile& file) {
  const auto& b = file.bytes;
  if (b.empty()) throw InputError(file.path, 0, "empty: no parameter message");
  std::array<bool, param::CONFIG_COUNT> seen{};
  for (size_t at = 0; at < b.size(); at += sizeof(ParameterMessage)) {
    const auto fail = [&](size_t i, const std::string& what) {
      throw InputError(file.path, static_cast<long>(at + i), what);
    };
    if (b.size() - at < sizeof(ParameterMessage))
      fail(0, "truncated message: " + std::to_string(b.size() - at) + " of 8 bytes");
    static constexpr uint8_t kHeader[3] = {0xF0, 0x70, 0x7B};
    for (size_t i = 0; i < 3; ++i)
      if (b[at + i] != kHeader[i])
        fail(i, "wrong header byte " + Hex(b[at + i]) + ", expected " + Hex(kHeader[i]));
    for (size_t i = 3; i < 7; ++i)
      if (b[at + i] & 0x80) fail(i, "data byte " + Hex(b[at + i]) + " has the high bit set");
    if (b[at + 7] != 0xF7) fail(7, "byte " + Hex(b[at + 7]) + " where the message ends with F7");
    if (b[at + 3] > 0x0F) fail(3, "device byte " + Hex(b[at + 3]) + " is above 0F");
    for (size_t i = 5; i < 7; ++i)
      if (b[at + i] > 0x0F) fail(i, "value half " + Hex(b[at + i]) + " is above 0F");
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

InputFile ReadInputFile(const std::string& path) {
  InputFile file;
  file.path = path;
  const auto kind = KindOf(path);
  if (!kind) throw InputError(path, -1, "unknown file type (.TQC, .SYX, .3CV or .TQX)");
  file.kind = *kind;
  file.bytes = ReadAll(path);
  switch (file.kind) {
    case FileKind::Config: ReadConfig(file); break;
    case FileKind::Table: ReadTable(file); break;
    case FileKind::Sysex: ReadSysex(file); break;
  }
  return file;
}

}  // namespace cli
