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
#include "transfer_tally.h"
#include "jack_bench.h"
#include "support/test_support.h"
#include "table/form2.h"
#include "ui/dialogs.h"

using testing_support::Hex;
using testing_support::JackPeer;
using testing_support::JackServer;

static void BM_LoadedTransfersReachAJackPeerWhole(benchmark::State& state) {
  JackBench jack(state.range(1) ? JackServer::Scheduling::kRealtime
                                 : JackServer::Scheduling::kNormal);
  if (!jack.Install(state)) return;
  JackPeer& peer = jack.peer;
  ui::ScriptedDialogs dialogs;
  TransferTally tally;
  {
    TForm1 form;
    Form1 = &form;
    Form2 = new TForm2;
    const Load load(true);
    for (auto _ : state) {
      tally.Run(form, static_cast<int>(state.range(0)), [&] {
        std::vector<std::string> got;
        while (auto event = peer.NextCaptured(std::chrono::milliseconds(500))) {
          got.push_back(Hex(*event));
        }
        return got;
      });
    }
    delete Form2;
    Form2 = nullptr;
    Form1 = nullptr;
  }
  SetMidiBackend(nullptr);
  tally.Report(state, dialogs.Errors().size());
}
BENCHMARK(BM_LoadedTransfersReachAJackPeerWhole)
    ->ArgNames({"transfers", "realtime"})
    ->Args({20, 1})
    ->Args({20, 0})
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) { return RunEditorBenchmarks(argc, argv); }
