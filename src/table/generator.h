#pragma once

#include "table/note_table.h"

// Fills entries Nmin..Nmax with the straight line from Amin to Amax, each value
// truncated toward Amin; the other entries keep their values. Nothing happens
// when Nmin > Nmax, nor when Nmin = Nmax (a range of one note has no slope).
void GenerateTable(TNoteTable& table, int Amin, int Amax, int Nmax, int Nmin);
