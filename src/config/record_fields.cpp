#include "config/record_fields.h"

#include <cstdio>

#include "config/controller_names.h"
#include "config/gate_outputs.h"
#include "protocol/parameter_message.h"

namespace record_fields {

namespace {

constexpr int kCfg0 = param::CFG0 - param::CONFIG_FIRST;
constexpr int kCfg1 = param::CFG1 - param::CONFIG_FIRST;
constexpr int kCfg2 = param::CFG2 - param::CONFIG_FIRST;
constexpr int kCfg3 = param::CFG3 - param::CONFIG_FIRST;
constexpr int kCfg4 = param::CFG4 - param::CONFIG_FIRST;

}  // namespace

const std::array<Field, param::CONFIG_COUNT>& Fields() {
  static const std::array<Field, param::CONFIG_COUNT> fields = {{
      {"CAN", Kind::Channel},       {"NREF", Kind::Note},         {"device ID", Kind::DeviceNumber},
      {"CRF0", Kind::Source},       {"CRF1", Kind::Source},       {"CRF2", Kind::Source},
      {"CRF3", Kind::Source},       {"CRF4", Kind::Source},       {"CRF5", Kind::Source},
      {"CFG0", Kind::Flags},        {"CFG1", Kind::Flags},        {"CFG2", Kind::Flags},
      {"THR1", Kind::LevelMinusOne}, {"THR2", Kind::LevelMinusOne}, {"TTIME", Kind::Byte},
      {"DIV", Kind::Divider},       {"CFG3", Kind::Flags},        {"CFG4", Kind::Flags},
      {"GREF1", Kind::Source},      {"GREF2", Kind::Source},      {"GREF3", Kind::Source},
      {"GREF4", Kind::Source},      {"GLEV1", Kind::Level},       {"GLEV2", Kind::Level},
      {"GLEV3", Kind::Level},       {"GLEV4", Kind::Level},       {"GNOT1", Kind::Note},
      {"GNOT2", Kind::Note},        {"GNOT3", Kind::Note},        {"GNOT4", Kind::Note},
      {"reserved", Kind::Reserved}, {"reserved", Kind::Reserved},
  }};
  return fields;
}

const std::array<const char*, 8>& FlagNames(int field) {
  static const std::array<const char*, 8> cfg0 = {
      "MIDI Clock", "Controlers", "Retrigg", "Start/Stop",
      "CV 3 Velo", "CV 4 Velo", "4 Voices", "Polyphonic"};
  static const std::array<const char*, 8> cfg1 = {
      "CV 1 +5V", "CV 2 +5V", "CV 3 +5V", "CV 4 +5V",
      "CV 1 Inv", "CV 2 Inv", "CV 3 Inv", "CV 4 Inv"};
  static const std::array<const char*, 8> cfg2 = {
      "CV 1 Tab", "CV 2 Tab", "CV 3 Tab", "CV 4 Tab",
      "Gate 5 Velo", "Gate 6 Velo", "Gate 5 Trigg", "Gate 6 Trigg"};
  static const std::array<const char*, 8> cfg3 = {
      nullptr, "CV 2 PB", "CV 3 PB", "CV 4 PB", nullptr, nullptr, nullptr, nullptr};
  static const std::array<const char*, 8> cfg4 = {
      "Gate 1 Trigg", "Gate 2 Trigg", "Gate 3 Trigg", "Gate 4 Trigg",
      "Note 1", "Note 2", "Note 3", "Note 4"};
  static const std::array<const char*, 8> none = {};
  switch (field) {
    case kCfg0: return cfg0;
    case kCfg1: return cfg1;
    case kCfg2: return cfg2;
    case kCfg3: return cfg3;
    case kCfg4: return cfg4;
    default: return none;
  }
}

std::optional<std::string> Problem(int field, std::uint8_t byte) {
  const auto above = [&](int max) -> std::optional<std::string> {
    if (byte <= max) return std::nullopt;
    return Fields()[field].name + std::string(" ") + std::to_string(byte) + " is outside 0.." +
           std::to_string(max);
  };
  switch (Fields()[field].kind) {
    case Kind::Channel: return above(15);
    case Kind::Note:
    case Kind::DeviceNumber:
    case Kind::Level: return above(127);
    case Kind::Source:
      if (byte == kNothingSelected) return std::nullopt;
      [[fallthrough]];
    case Kind::LevelMinusOne:
      if (byte == 0xFF) return std::nullopt;
      return above(126);
    case Kind::Divider:
      if (byte >= 1 && byte <= 128) return std::nullopt;
      return std::string("DIV ") + std::to_string(byte) + " is outside 1..128";
    case Kind::Flags: {
      std::uint8_t used = 0;
      for (int bit = 0; bit < 8; ++bit)
        if (FlagNames(field)[bit]) used |= static_cast<std::uint8_t>(1 << bit);
      if ((byte & ~used) == 0) return std::nullopt;
      return Fields()[field].name + std::string(" ") + HexByte(byte) + " sets a bit that is always 0";
    }
    case Kind::Reserved:
      if (byte == 0) return std::nullopt;
      return "reserved byte " + HexByte(byte) + " is not 0";
    case Kind::Byte: return std::nullopt;
  }
  return std::nullopt;
}

std::vector<std::string> TickedBoxes(int field, std::uint8_t byte) {
  std::vector<std::string> ticked;
  for (int bit = 0; bit < 8; ++bit) {
    const char* name = FlagNames(field)[bit];
    if (name && (byte >> bit & 1)) ticked.emplace_back(name);
  }
  return ticked;
}

std::string NoteText(int note) { return NoteName(note, 0).toStdString(); }

std::string Meaning(int field, std::uint8_t byte) {
  switch (Fields()[field].kind) {
    case Kind::Channel: return "channel " + std::to_string(byte + 1);
    case Kind::Note: return std::to_string(byte) + " (" + NoteText(byte) + ")";
    case Kind::DeviceNumber: return "device ID " + std::to_string(byte + 1);
    case Kind::Source:
      if (byte == kNothingSelected) return "nothing selected";
      return ControllerName((byte + 1) % 256).trimmed().toStdString();
    case Kind::LevelMinusOne: return "level " + std::to_string((byte + 1) % 256);
    case Kind::Level: return "level " + std::to_string(byte);
    case Kind::Divider: return "divide by " + std::to_string(byte);
    case Kind::Byte: return std::to_string(byte);
    case Kind::Reserved: return "0";
    case Kind::Flags: {
      std::string text;
      for (const std::string& box : TickedBoxes(field, byte)) text += (text.empty() ? "" : ", ") + box;
      if (field == kCfg0 && !(byte & 0x82)) text = "Monophonic" + (text.empty() ? "" : ", " + text);
      return text.empty() ? "none ticked" : text;
    }
  }
  return {};
}

}  // namespace record_fields
