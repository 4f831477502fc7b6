#pragma once

#include <stdexcept>
#include <string>

// The framework's base exception: an error that carries only its message text.
class Exception : public std::runtime_error {
 public:
  explicit Exception(const std::string& message) : std::runtime_error(message) {}
};

// A value outside the range a property accepts.
class ERangeError : public Exception {
 public:
  using Exception::Exception;
};
