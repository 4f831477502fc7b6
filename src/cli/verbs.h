#pragma once

#include <string>
#include <vector>

#include "cli/input_files.h"
#include "cli/output_ports.h"
#include "cli/tool.h"

namespace cli {

int RunPorts(const std::vector<std::string>& args, Io& io);
int RunSend(const std::vector<std::string>& args, Io& io);
int RunConvert(const std::vector<std::string>& args, Io& io);
int RunShow(const std::vector<std::string>& args, Io& io);
int RunTune(const std::vector<std::string>& args, Io& io);

// Brings up the MIDI service. False, with one line on standard error, when
// there is none.
bool ConnectMidi(Io& io);

// ConnectMidi, then ChoosePort for `choice`. Nothing, with the reason on
// standard error and the exit status in `code`, when either fails.
std::optional<PortEntry> ConnectAndChoosePort(Io& io, TMidiOutput& port,
                                              const std::optional<std::string>& choice, int& code);

// The messages `send` gives the port for one file: a configuration as the
// editor's full transfer sends it, a table as parameters 64..111, a SysEx dump
// as it stands. tableDevice is the device number (device ID - 1) of a table.
std::vector<ParameterMessage> MessagesOf(const InputFile& file, int tableDevice);

}  // namespace cli
