#include "table/generator.h"

#include <algorithm>

void GenerateTable(TNoteTable& table, int Amin, int Amax, int Nmax, int Nmin) {
  const int dA = Amax - Amin;
  const int dN = Nmax - Nmin;
  if (dN <= 0) return;
  for (int i = std::max(Nmin, 0); i <= std::min(Nmax, kTableSize - 1); ++i)
    table[i] = Amin + ((i - Nmin) * dA) / dN;
}
