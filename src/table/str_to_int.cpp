#include "table/str_to_int.h"

#include <limits>

int StrToInt(const QString& text) {
  qsizetype start = 0;
  while (start < text.size() && text[start] == ' ') ++start;
  qsizetype digits = start;
  if (digits < text.size() && (text[digits] == '+' || text[digits] == '-')) ++digits;
  // Checked here because toLongLong alone would also take trailing blanks.
  bool ok = digits < text.size();
  for (qsizetype k = digits; ok && k < text.size(); ++k) ok = text[k] >= '0' && text[k] <= '9';
  const qlonglong value = ok ? text.mid(start).toLongLong(&ok, 10) : 0;
  if (!ok || value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
    throw EConvertError("'" + text.toStdString() + "' n'est pas une valeur entière correcte");
  return static_cast<int>(value);
}
