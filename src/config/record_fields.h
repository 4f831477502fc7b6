#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "protocol/parameter_map.h"

// What each byte of the configuration record means, for readers that get the
// record from outside the controls (files given to the command-line tool): its
// name, the bytes the editor can write there, and how to show it.
namespace record_fields {

enum class Kind : std::uint8_t {
  Channel,       // channel - 1
  Note,          // a note number
  DeviceNumber,  // device ID - 1
  Source,        // controller number, FF for none, FE for a list with nothing selected
  Flags,         // a flag byte; its named boxes below
  LevelMinusOne, // gate 5/6 level - 1, FF for 0
  Level,         // gate 1..4 level
  Byte,          // 0..255
  Divider,       // 1..128
  Reserved,      // always 0
};

struct Field {
  const char* name;  // the settings store's value name where it has one
  Kind kind;
};

// What a source list with nothing selected writes (its value is -2).
constexpr std::uint8_t kNothingSelected = 0xFE;

// Field i is parameter 32 + i.
const std::array<Field, param::CONFIG_COUNT>& Fields();

// The boxes of a flag byte, by bit (nullptr for a bit that is always 0).
const std::array<const char*, 8>& FlagNames(int field);

// Why `byte` cannot stand in field i, or nothing when the editor could have
// written it.
std::optional<std::string> Problem(int field, std::uint8_t byte);

// A readable form of a byte that passes Problem: "channel 1", "C  0",
// "Modulation Wheel (coarse)" (without the list's trailing blanks), the ticked
// boxes of a flag byte.
std::string Meaning(int field, std::uint8_t byte);

// The ticked boxes of a flag byte, in bit order.
std::vector<std::string> TickedBoxes(int field, std::uint8_t byte);

// "C#-1"-style name of a MIDI note, as the editor's labels show it.
std::string NoteText(int note);

}  // namespace record_fields
