#pragma once

#include <QString>

// Entries of every source list: entry i stands for MIDI controller i - 1, entry 0
// for no source. Controller 127 has no entry.
constexpr int kControllerEntries = 128;

// The text of entry 0..127; controllers without a name of their own read
// "Controler n° " and their number.
QString ControllerName(int index);
