// Full configuration transfers on a JACK server of the benchmark's own, with a
// busy loop on every core: each transfer must reach the peer's port as exactly
// its 32 messages, in order, none twice. The peer counts in its own process
// callback, so what it misses is the editor's loss, not a slow consumer's.
// Arguments: transfers, real-time server (0 or 1).
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "app/form1.h"
#include "bench_load.h"
#include "editor_bench_main.h"
#include "midi/platform/jack_backend.h"
#include "midi/platform/midi_backend.h"
#include "protocol/parameter_message.h"
#include "support/jack_peer.h"
#include "support/jack_server.h"
#include "support/test_support.h"
#include "table/form2.h"
#include "ui/dialogs.h"

using testing_support::Hex;
using testing_support::JackPeer;
using testing_support::JackServer;

static void BM_LoadedTransfersReachAJackPeerWhole(benchmark::State& state) {
  JackServer server(state.range(1) ? JackServer::Scheduling::kRealtime
                                   : JackServer::Scheduling::kNormal);
  JackPeer peer;
  std::string why;
  std::unique_ptr<MidiBackend> backend = server.Running() ? OpenJackMidiBackend(why) : nullptr;
  if (!backend || !peer.Ready()) {
    state.SkipWithError(!server.Running() ? server.Why().c_str()
                        : !backend       ? why.c_str()
                                         : peer.Why().c_str());
    return;
  }
  SetMidiBackend(std::move(backend));
  ui::ScriptedDialogs dialogs;
  int whole = 0, lost = 0, doubled = 0, reordered = 0;
  {
    TForm1 form;
    Form1 = &form;
    Form2 = new TForm2;
    const Load load(true);
    for (auto _ : state) {
      for (int transfer = 0; transfer < state.range(0); ++transfer) {
        std::vector<int> values(32, transfer);
        std::vector<std::string> expected;
        for (int i = 0; i < 32; ++i) {
          const ParameterMessage m = BuildParameterMessage(0, 32 + i, transfer);
          expected.push_back(Hex(std::vector<uint8_t>(m.begin(), m.end())));
        }
        form.SendWithProgress(32, values.data(), 32, 1);
        std::vector<std::string> got;
        while (auto event = peer.NextCaptured(std::chrono::milliseconds(500))) {
          got.push_back(Hex(*event));
        }
        if (got == expected) {
          ++whole;
          continue;
        }
        for (const std::string& message : expected) {
          const auto count = std::count(got.begin(), got.end(), message);
          lost += count == 0;
          doubled += count > 1;
        }
        reordered += std::is_sorted(got.begin(), got.end()) ? 0 : 1;
      }
    }
    delete Form2;
    Form2 = nullptr;
    Form1 = nullptr;
  }
  SetMidiBackend(nullptr);
  state.counters["whole"] = whole;
  state.counters["lost"] = lost;
  state.counters["doubled"] = doubled;
  state.counters["reordered"] = reordered;
  state.counters["errors"] = static_cast<double>(dialogs.Errors().size());
}
BENCHMARK(BM_LoadedTransfersReachAJackPeerWhole)
    ->ArgNames({"transfers", "realtime"})
    ->Args({20, 1})
    ->Args({20, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) { return RunEditorBenchmarks(argc, argv); }
