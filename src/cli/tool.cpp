#include "cli/tool.h"

#include <map>

#include "cli/options.h"
#include "cli/verbs.h"
#include "midi/platform/midi_backend.h"

#ifndef TQX_VERSION
#define TQX_VERSION "unknown"
#endif

namespace cli {

namespace {

constexpr const char* kHelp =
    "usage: tqx512 VERB [ARGS...]   (tqx512 VERB --help, or tqx512 help VERB, for each)\n"
    "\n"
    "  ports    list the MIDI output devices\n"
    "  send     send configurations and note tables to the TQX512, paced\n"
    "  convert  turn .TQC into .SYX and back, .3CV into .TQX and back\n"
    "  show     decode a file\n"
    "  tune     fill the note table by measuring the oscillator on a sound card\n"
    "\n"
    "  -h, --help     this text\n"
    "  -V, --version  the version\n"
    "\n"
    "Exit status: 0 done, 1 a port, service, send or write failure, 2 bad usage or\n"
    "input, 130 interrupted.\n";

using Verb = int (*)(const std::vector<std::string>&, Io&);

const std::map<std::string, Verb>& Verbs() {
  static const std::map<std::string, Verb> verbs = {
      {"ports", RunPorts}, {"send", RunSend}, {"convert", RunConvert}, {"show", RunShow},
      {"tune", RunTune}};
  return verbs;
}

}  // namespace

bool ConnectMidi(Io& io) {
  if (io.connectMidi) io.connectMidi();
  if (CurrentMidiBackend().Name() != "none") return true;
  io.err << "tqx512: no MIDI service" << (io.noServiceWhy.empty() ? "" : ": " + io.noServiceWhy)
         << '\n';
  return false;
}

std::optional<PortEntry> ConnectAndChoosePort(Io& io, TMidiOutput& port,
                                              const std::optional<std::string>& choice, int& code) {
  code = kSendFailed;
  if (!ConnectMidi(io)) return std::nullopt;
  try {
    return ChoosePort(port, choice);
  } catch (const PortNotChosen& error) {
    io.err << "tqx512: " << error.what;
    code = error.code;
    return std::nullopt;
  }
}

int Run(const std::vector<std::string>& args, Io& io) {
  if (args.empty()) {
    io.err << kHelp;
    return kBadInput;
  }
  std::string verb = args[0];
  std::vector<std::string> rest(args.begin() + 1, args.end());
  if (verb == "help" && !rest.empty()) {
    verb = rest[0];
    rest = {"--help"};
  }
  const auto found = Verbs().find(verb);
  try {
    if (verb == "--help" || verb == "-h" || verb == "help") {
      io.out << kHelp;
      return kSuccess;
    }
    if (verb == "--version" || verb == "-V") {
      io.out << "tqx512 " << TQX_VERSION << '\n';
      return kSuccess;
    }
    if (found == Verbs().end()) throw UsageError{"unknown verb \"" + verb + "\""};
    return found->second(rest, io);
  } catch (const UsageError& error) {
    if (found == Verbs().end()) {
      io.err << "tqx512: " << error.what << "\n(tqx512 --help lists the verbs)\n";
    } else {
      io.err << "tqx512 " << verb << ": " << error.what << "\n(tqx512 " << verb
             << " --help tells how)\n";
    }
  } catch (const InputError& error) {
    io.err << "tqx512: " << error.what() << '\n';
  } catch (const ReadInterrupted&) {
    io.err << "tqx512: interrupted\n";
    return kInterrupted;
  }
  return kBadInput;
}

}  // namespace cli
