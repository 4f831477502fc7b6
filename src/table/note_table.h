#pragma once

#include <array>
#include <cstdint>
#include <vector>

// The 48 DAC values of the interface's note table; entry i belongs to note
// (base note + i). Every writer keeps the entries within 0..255.
constexpr int kTableSize = 48;
using TNoteTable = std::array<int32_t, kTableSize>;

// A table file is the 48 entries, one byte each (low 8 bits), in note order.
std::vector<uint8_t> TableFileImage(const TNoteTable& table);
// Entries from the first 48 bytes of a file image, widened without sign.
TNoteTable TableFromFileImage(const std::vector<uint8_t>& image);
