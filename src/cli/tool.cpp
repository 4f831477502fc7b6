#include "cli/tool.h"

#include "cli/options.h"
#include "cli/verbs.h"

#ifndef TQX_VERSION
#define TQX_VERSION "unknown"
#endif

namespace cli {

namespace {

constexpr const char* kHelp =
    "usage: tqx512 VERB [ARGS...]   (tqx512 VERB --help for each)\n"
    "\n"
    "  ports    list the MIDI output devices\n"
    "  send     send configurations and note tables to the TQX512, paced\n"
    "  convert  turn .TQC into .SYX and back, .3CV into .TQX and back\n"
    "  show     decode a file\n"
    "\n"
    "Exit status: 0 done, 1 a port, send or write failure, 2 bad usage or input.\n";

}  // namespace

int Run(const std::vector<std::string>& args, Io& io) {
  if (args.empty()) {
    io.err << kHelp;
    return kBadInput;
  }
  const std::string& verb = args[0];
  const std::vector<std::string> rest(args.begin() + 1, args.end());
  try {
    if (verb == "--help" || verb == "-h" || verb == "help") {
      io.out << kHelp;
      return kSuccess;
    }
    if (verb == "--version") {
      io.out << "tqx512 " << TQX_VERSION << '\n';
      return kSuccess;
    }
    if (verb == "ports") return RunPorts(rest, io);
    if (verb == "send") return RunSend(rest, io);
    if (verb == "convert") return RunConvert(rest, io);
    if (verb == "show") return RunShow(rest, io);
    throw UsageError{"unknown verb \"" + verb + "\""};
  } catch (const UsageError& error) {
    io.err << "tqx512: " << error.what << "\n(tqx512 --help lists the verbs)\n";
  } catch (const InputError& error) {
    io.err << "tqx512: " << error.what() << '\n';
  }
  return kBadInput;
}

}  // namespace cli
