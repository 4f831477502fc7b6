#include <unistd.h>

#include <QCoreApplication>
#include <iostream>

#include "cli/tool.h"
#include "midi/platform/backend_choice.h"

int main(int argc, char** argv) {
  // The ports' done notices travel as Qt events; no window is ever made.
  QCoreApplication app(argc, argv);
  std::vector<std::string> args(argv + 1, argv + argc);
  cli::Io io{std::cout, std::cerr, isatty(STDERR_FILENO) == 1,
             [] {
               std::string why;
               SetMidiBackend(ChooseMidiBackend(&why));
               if (!why.empty()) std::cerr << "tqx512: no MIDI service: " << why << '\n';
             }};
  const int result = cli::Run(args, io);
  SetMidiBackend(nullptr);
  return result;
}
