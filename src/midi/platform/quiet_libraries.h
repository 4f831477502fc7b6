#pragma once

// While a service is probed, its library prints nothing of its own on standard
// error: a service that is not there is an answer here, said once in our words.
// Their usual reports come back afterwards.
class QuietLibraries {
 public:
  QuietLibraries();
  ~QuietLibraries();
  QuietLibraries(const QuietLibraries&) = delete;
  QuietLibraries& operator=(const QuietLibraries&) = delete;
};
