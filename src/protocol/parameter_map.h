#pragma once

// Parameter numbers of the interface. 32..63 are the configuration record, always
// sent in ascending order; 64..111 the note table; 127 the only command.
namespace param {

constexpr int CAN = 32;  // MIDI channel - 1
constexpr int NREF = 33;  // base note
constexpr int DEVICE_ID = 34;  // the interface's own device number (device ID - 1, not masked)
constexpr int CRF0 = 35;  // sources of CV 1..4 and gates 5, 6: 35..40
constexpr int CFG0 = 41;
constexpr int CFG1 = 42;
constexpr int CFG2 = 43;
constexpr int THR1 = 44;  // gate 5 level - 1
constexpr int THR2 = 45;  // gate 6 level - 1
constexpr int TTIME = 46;
constexpr int DIV = 47;
constexpr int CFG3 = 48;
constexpr int CFG4 = 49;
constexpr int GREF1 = 50;  // sources of gates 1..4: 50..53
constexpr int GLEV1 = 54;  // levels of gates 1..4: 54..57
constexpr int GNOT1 = 58;  // notes of gates 1..4: 58..61
constexpr int RESERVED1 = 62;
constexpr int RESERVED2 = 63;
constexpr int CONFIG_FIRST = 32;
constexpr int CONFIG_COUNT = 32;
constexpr int TABLE_FIRST = 64;  // note-table entry i is parameter 64 + i
constexpr int TABLE_COUNT = 48;
constexpr int COMMAND = 127;
constexpr int WRITE_TO_FLASH = 52;  // the value of the "Write to Flash" command

}  // namespace param
