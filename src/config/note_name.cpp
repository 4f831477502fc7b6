#include "config/note_name.h"

QString NoteName(int Note, int Offset) {
  static constexpr char kLetters[] = "CCDDEFFGGAAB";
  static constexpr bool kSharp[12] = {false, true,  false, true,  false, false,
                                      true,  false, true,  false, true,  false};
  const int m = Note + Offset;
  const int pitch = (m % 12 + 12) % 12;  // never an index outside the tables
  return QString(QChar(kLetters[pitch])) + (kSharp[pitch] ? '#' : ' ') +
         QString::number((m - pitch) / 12 - 2);
}
