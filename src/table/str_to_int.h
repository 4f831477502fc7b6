#pragma once

#include <QString>

#include "ui/exception.h"

// Text that is not a number where one is expected.
class EConvertError : public Exception {
 public:
  using Exception::Exception;
};

// The framework's conversion of an edit box's text: optional leading blanks, an
// optional sign and decimal digits, within 32 bits. Anything else raises
// EConvertError with the framework's (French) message.
int StrToInt(const QString& text);
