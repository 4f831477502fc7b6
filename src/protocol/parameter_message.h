#pragma once

#include <array>
#include <cstdint>
#include <string>

using ParameterMessage = std::array<uint8_t, 8>;

// F0 70 7B dd pp vl vh F7: device and parameter masked to 4 and 7 bits; only the
// low eight bits of value travel, split into two nibbles so every data byte stays
// below 0x80 (-1 goes out as 0F 0F).
ParameterMessage BuildParameterMessage(int device, int parameter, int value);

// "0F": how bytes are written in messages to the user.
std::string HexByte(uint8_t byte);
// "F0 70 7B 00 22 00 00 F7".
std::string HexBytes(const ParameterMessage& message);
