#pragma once

#include <functional>

#include "protocol/parameter_message.h"

class TMidiOutput;

// The time every parameter message is given before the next one goes out.
constexpr unsigned kPacingMilliseconds = 100;

// Hands one parameter message to the port, then waits the pacing time without
// processing window messages (PacedWait). A failing port raises its error and
// the wait is skipped. The editor's window and the command-line tool both send
// this way, so both pace alike.
void SendPacedMessage(TMidiOutput& port, const ParameterMessage& message,
                      const std::function<void()>& nearEnd = {});
