#pragma once

#include <array>

#include "protocol/parameter_map.h"

// The 32 values of parameters 32..63 in sending order, read from the controls by
// TForm1::GetConfigRecord. The full transfer, the configuration file and the
// SysEx dump all take the configuration from here.
using TConfigRecord = std::array<int, param::CONFIG_COUNT>;

// Value of a source list: its item index - 1, so none is -1 (sent as 255) and
// text that matches no entry is -2.
constexpr int SourceValue(int itemIndex) { return itemIndex - 1; }
