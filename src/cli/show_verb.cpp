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

constexpr const char* kHelp =
    "usage: tqx512 show FILE [--json] [--base-note 0..127]\n"
    "\n"
    "Decodes a configuration (.TQC, .SYX) value by value, or a note table (.3CV, .TQX)\n"
    "entry by entry, numbering its notes from the base note (default 24).\n";

QString Q(const std::string& text) { return QString::fromStdString(text); }

void ShowRecord(const InputFile& file, bool json, std::ostream& out) {
  const auto& fields = record_fields::Fields();
  QJsonArray values;
  for (int i = 0; i < param::CONFIG_COUNT; ++i) {
    const auto byte = static_cast<uint8_t>(file.record[i] & 0xFF);
    const std::string meaning = record_fields::Meaning(i, byte);
    if (json) {
      QJsonObject entry{{"parameter", param::CONFIG_FIRST + i},
                        {"name", fields[i].name},
                        {"byte", byte},
                        {"meaning", Q(meaning)}};
      if (fields[i].kind == record_fields::Kind::Flags) {
        QJsonArray boxes;
        for (const std::string& box : record_fields::TickedBoxes(i, byte)) boxes.append(Q(box));
        entry["ticked"] = boxes;
      }
      values.append(entry);
    } else {
      char line[160];
      std::snprintf(line, sizeof line, "%3d  %-9s  %3d  %s\n", param::CONFIG_FIRST + i,
                    fields[i].name, byte, meaning.c_str());
      out << line;
    }
  }
  if (json) {
    const QJsonObject root{{"file", Q(file.path)}, {"configuration", values}};
    out << QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
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
  if (json) {
    const QJsonObject root{{"file", Q(file.path)}, {"baseNote", baseNote}, {"table", entries}};
    out << QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
  }
}

// A dump with other messages than the configuration: each message listed.
void ShowMessages(const InputFile& file, bool json, std::ostream& out) {
  QJsonArray list;
  for (const ParameterMessage& message : file.messages) {
    const int parameter = message[4];
    const int value = message[5] | message[6] << 4;
    const int field = parameter - param::CONFIG_FIRST;
    std::string meaning;
    std::string name;
    if (field >= 0 && field < param::CONFIG_COUNT) {
      name = record_fields::Fields()[field].name;
      meaning = record_fields::Meaning(field, static_cast<uint8_t>(value));
    } else if (parameter == param::COMMAND) {
      name = "command";
      meaning = "Write to Flash";
    } else {
      name = "table " + std::to_string(parameter - param::TABLE_FIRST);
      meaning = "DAC " + std::to_string(value);
    }
    if (json) {
      list.append(QJsonObject{{"device", message[3]}, {"parameter", parameter}, {"name", Q(name)},
                              {"value", value}, {"meaning", Q(meaning)}});
    } else {
      char line[160];
      std::snprintf(line, sizeof line, "device %2d  %3d  %-9s  %3d  %s\n", message[3], parameter,
                    name.c_str(), value, meaning.c_str());
      out << line;
    }
  }
  if (json) {
    const QJsonObject root{{"file", Q(file.path)}, {"messages", list}};
    out << QJsonDocument(root).toJson(QJsonDocument::Indented).toStdString();
  }
}

}  // namespace

int RunShow(const std::vector<std::string>& args, Io& io) {
  const Options options = ParseOptions(args, {"help", "json"}, {"base-note"});
  if (options.Has("help")) {
    io.out << kHelp;
    return kSuccess;
  }
  if (options.operands.size() != 1) throw UsageError{"show: give exactly one file"};
  const int baseNote = NumberOption(options, "base-note", 0, 127, 24);
  const InputFile file = ReadInputFile(options.operands[0]);
  const bool json = options.Has("json");
  switch (file.kind) {
    case FileKind::Config: ShowRecord(file, json, io.out); break;
    case FileKind::Table: ShowTable(file, baseNote, json, io.out); break;
    case FileKind::Sysex: ShowMessages(file, json, io.out); break;
  }
  return kSuccess;
}

}  // namespace cli
