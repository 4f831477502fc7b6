#pragma once

#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "midi/platform/jack_backend.h"
#include "midi/platform/midi_backend.h"
#include "support/jack_peer.h"
#include "support/jack_server.h"

// A JACK server of the benchmark's own, the test peer (an interface's ports)
// on it, and the editor's JACK backend made current.
struct JackBench {
  explicit JackBench(testing_support::JackServer::Scheduling scheduling) : server(scheduling) {}
  // False, with the benchmark skipped and why, when any part is missing.
  bool Install(benchmark::State& state) {
    std::string why;
    std::unique_ptr<MidiBackend> backend = server.Running() ? OpenJackMidiBackend(why) : nullptr;
    if (!backend || !peer.Ready()) {
      state.SkipWithError(!server.Running() ? server.Why().c_str()
                          : !backend        ? why.c_str()
                                            : peer.Why().c_str());
      return false;
    }
    SetMidiBackend(std::move(backend));
    return true;
  }

  testing_support::JackServer server;
  testing_support::JackPeer peer;
};
