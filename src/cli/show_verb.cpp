// `tqx512 show`: a file decoded into names and values.
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>

#include "cli/options.h"
#include "cli/verbs.h"
#include "config/record_fields.h"
#include "protocol/parameter_map.h"

namespace cli {

namespace {

using record_fields::Kind;

constexpr const char* kHelp =
    "usage: tqx512 show FILE [--json] [--base-note 0..127] [--type tqc|syx|3cv|tqx]\n"
    "\n"
    "Decodes a configuration (.TQC, .SYX) value by value, or a note table (.3CV, .TQX)\n"
    "entry by entry, numbering its notes from the base note (default 24). FILE - is\n"
    "standard input. --json prints the same as data (its shape: man tqx512).\n";

QString Q(const std::string& text) { return QString::fromStdString(text); }

// The value a configuration byte stands for, typed: numbers as the editor shows
// them (channel 1..16, device ID 1..128, a level), null for a source of none or
// nothing selected, the boxes of a flag byte as booleans.
QJsonValue TypedValue(int field, uint8_t byte) {
  switch (record_fields::Fields()[field].kind) {
    case Kind::Channel:
    case Kind::DeviceNumber: return byte + 1;
    case Kind::Source:
      if (byte == 0xFF || byte == record_fields::kNothingSelected) return QJsonValue::Null;
      return byte;
    case Kind::LevelMinusOne: return (byte + 1) % 256;
    case Kind::Flags: {
      QJsonObject boxes;
      for (const char* name : record_fields::FlagNames(field))
        if (name) boxes[name] = false;
      for (const std::string& box : record_fields::TickedBoxes(field, byte)) boxes[Q(box)] = true;
      return boxes;
    }
    case Kind::Note:
    case Kind::Level:
    case Kind::Byte:
    case Kind::Divider:
    case Kind::Reserved: return byte;
  }
  return byte;
}

QJsonObject FieldObject(int field, uint8_t byte) {
  return {{"parameter", param::CONFIG_FIRST + field},
          {"name", record_fields::Fields()[field].name},
          {"byte", byte},
          {"value", TypedValue(field, byte)},
          {"text", Q(record_fields::Meaning(field, byte))}};
}

// One message of a dump, with the same names as a configuration's fields.
QJsonObject MessageObject(const ParameterMessage& message) {
  const int parameter = message[4];
  const auto value = static_cast<uint8_t>(message[5] | message[6] << 4);
  const int field = parameter - param::CONFIG_FIRST;
  QJsonObject entry;
  if (field >= 0 && field < param::CONFIG_COUNT) {
    entry = FieldObject(field, value);
  } else if (parameter == param::COMMAND) {
    entry = {{"parameter", parameter}, {"name", "command"}, {"byte", value},
             {"value", value}, {"text", "Write to Flash"}};
  } else {
    entry = {{"parameter", parameter}, {"name", "table " + QString::number(parameter - param::TABLE_FIRST)},
             {"byte", value}, {"value", value}, {"text", "DAC " + QString::number(value)}};
  }
  entry["deviceId"] = message[3] + 1;
  return entry;
}

void Print(const QJsonObject& root, std::ostream& out) {
  out << QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
}

void ShowRecord(const InputFile& file, bool json, std::ostream& out) {
  if (json) {
    QJsonArray fields;
    for (int i = 0; i < param::CONFIG_COUNT; ++i)
      fields.append(FieldObject(i, static_cast<uint8_t>(file.record[i] & 0xFF)));
    Print({{"file", Q(file.path)}, {"type", "configuration"}, {"deviceId", *OwnDeviceId(file)},
           {"configuration", fields}},
          out);
    return;
  }
  for (int i = 0; i < param::CONFIG_COUNT; ++i) {
    const auto byte = static_cast<uint8_t>(file.record[i] & 0xFF);
    char line[160];
    std::snprintf(line, sizeof line, "%3d  %-9s  %3d  %s\n", param::CONFIG_FIRST + i,
                  record_fields::Fields()[i].name, byte, record_fields::Meaning(i, byte).c_str());
    out << line;
  }
}

void ShowTable(const InputFile& file, int baseNote, bool json, std::ostream& out) {
  QJsonArray entries;
  for (int i = 0; i < kTableSize; ++i) {
    const int note = baseNote + i;
    const std::string name = record_fields::NoteText(note);
    if (json) {
      entries.append(QJsonObject{{"entry", i}, {"note", note}, {"noteName", Q(name)},
                                 {"value", file.table[i]}});
    } else {
      char line[80];
      std::snprintf(line, sizeof line, "%2d  note %3d  %-4s  %3d\n", i, note, name.c_str(),
                    file.table[i]);
      out << line;
    }
  }
  if (json) Print({{"file", Q(file.path)}, {"type", "table"}, {"baseNote", baseNote}, {"table", entries}}, out);
}

// A dump: each message listed; in JSON also the configuration it carries.
void ShowMessages(const InputFile& file, bool json, std::ostream& out) {
  if (json) {
    QJsonArray list;
    for (const ParameterMessage& message : file.messages) list.append(MessageObject(message));
    QJsonValue configuration = QJsonValue::Null;
    if (file.hasRecord) {
      QJsonArray fields;
      for (int i = 0; i < param::CONFIG_COUNT; ++i)
        fields.append(FieldObject(i, static_cast<uint8_t>(file.record[i] & 0xFF)));
      configuration = fields;
    }
    Print({{"file", Q(file.path)}, {"type", "dump"}, {"deviceId", *OwnDeviceId(file)},
           {"configuration", configuration}, {"messages", list}},
          out);
    return;
  }
  for (const ParameterMessage& message : file.messages) {
    const QJsonObject entry = MessageObject(message);
    char line[160];
    std::snprintf(line, sizeof line, "device ID %2d  %3d  %-9s  %3d  %s\n", message[3] + 1,
                  entry["parameter"].toInt(), entry["name"].toString().toStdString().c_str(),
                  entry["byte"].toInt(), entry["text"].toString().toStdString().c_str());
    out << line;
  }
}

}  // namespace

int RunShow(const std::vector<std::string>& args, Io& io) {
  const Options options = ParseOptions(args, {"help", "json"}, {"base-note", "type"});
  if (options.Has("help")) {
    io.out << kHelp;
    return kSuccess;
  }
  if (options.operands.size() != 1) throw UsageError{"give exactly one file"};
  const int baseNote = NumberOption(options, "base-note", 0, 127, 24);
  const std::string& path = options.operands[0];
  const InputFile file =
      ReadInputFile(path, io.err, IsStandardInput(path) ? TypeOption(options) : std::nullopt);
  const bool json = options.Has("json");
  switch (file.kind) {
    case FileKind::Config: ShowRecord(file, json, io.out); break;
    case FileKind::Table: ShowTable(file, baseNote, json, io.out); break;
    case FileKind::Sysex: ShowMessages(file, json, io.out); break;
  }
  return kSuccess;
}

}  // namespace cli
