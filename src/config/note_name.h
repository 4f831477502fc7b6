#pragma once

#include <QString>

// The name of note number Note + Offset: its letter, "#" or a blank, and the octave
// Note div 12 - 2, so 0 is "C -2", 60 "C 3" and 61 "C#3".
QString NoteName(int Note, int Offset);
