#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <sstream>

#include "cli/interrupts.h"
#include "cli/tool.h"
#include "midi/platform/backend_choice.h"
#include "ui/console_dialogs.h"

namespace {

// Standard output is written in one go at the end, so that what cannot be
// written there (a full disk, a closed pipe) fails the run with its reason: a
// listing that did not arrive is no success.
bool WriteStandardOutput(const std::string& text) {
  for (size_t done = 0; done < text.size();) {
    const ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      std::cerr << "tqx512: standard output: " << std::strerror(n < 0 ? errno : EIO) << '\n';
      return false;
    }
    done += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  cli::CatchInterrupts();
  // The ports' done notices travel as Qt events; no window is ever made.
  QCoreApplication app(argc, argv);
  // Whatever would show a box tells it on standard error instead.
  ui::ConsoleDialogs console(std::cerr, "tqx512: ");
  ui::Dialogs::Install(&console);
  int result = cli::kSendFailed;
  std::ostringstream out;
  try {
    std::vector<std::string> args(argv + 1, argv + argc);
    cli::Io io{out, std::cerr, isatty(STDERR_FILENO) == 1, {}, {}};
    io.connectMidi = [&io] { SetMidiBackend(ChooseMidiBackend(&io.noServiceWhy)); };
    result = cli::Run(args, io);
  } catch (const std::exception& error) {
    std::cerr << "tqx512: " << error.what() << '\n';
    result = cli::kSendFailed;
  } catch (...) {
    std::cerr << "tqx512: unexpected failure\n";
    result = cli::kSendFailed;
  }
  // Closes the service's client (JACK's too) before the process ends.
  SetMidiBackend(nullptr);
  ui::Dialogs::Install(nullptr);
  if (!WriteStandardOutput(out.str()) && result == cli::kSuccess) result = cli::kSendFailed;
  return result;
}
