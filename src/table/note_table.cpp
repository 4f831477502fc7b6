#include "table/note_table.h"

std::vector<uint8_t> TableFileImage(const TNoteTable& table) {
  std::vector<uint8_t> image(kTableSize);
  for (int i = 0; i < kTableSize; ++i) image[i] = static_cast<uint8_t>(table[i] & 0xFF);
  return image;
}

TNoteTable TableFromFileImage(const std::vector<uint8_t>& image) {
  TNoteTable table{};
  for (int i = 0; i < kTableSize && i < static_cast<int>(image.size()); ++i) table[i] = image[i];
  return table;
}
