#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "config/config_record.h"

// The two file forms of a configuration. Both are built from the configuration
// record alone, so they agree with each other and with the full transfer.

constexpr size_t CONFIG_FILE_SIZE = 32;
using TConfigFileImage = std::array<uint8_t, CONFIG_FILE_SIZE>;

// Byte i is the low eight bits of value i (two's complement: none is FF).
TConfigFileImage ConfigFileImage(const TConfigRecord& record);

// The messages of a full transfer, back to back: parameters 32..63 carrying the
// record, then "Write to Flash" when asked. 256 or 264 bytes.
std::vector<uint8_t> SysexDumpImage(const TConfigRecord& record, int device, bool writeToFlash);
