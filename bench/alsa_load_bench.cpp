// Full configuration transfers on the real kernel sequencer, with a busy loop on
// every core: each transfer must come out of VirMIDI 0-0 (snd-virmidi, read back
// raw from hw:0,0) as exactly its 32 messages, in order, none twice. Run it in
// the test VM: tests/vm/run-in-vm build/bench/alsa_load_bench
// Argument: transfers.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <string>
#include <vector>

#include "app/form1.h"
#include "bench_load.h"
#include "editor_bench_main.h"
#include "transfer_tally.h"
#include "midi/platform/backend_choice.h"
#include "midi/platform/midi_backend.h"
#include "support/raw_midi_reader.h"
#include "support/test_support.h"
#include "table/form2.h"
#include "ui/dialogs.h"

using testing_support::RawMidiReader;

static void BM_LoadedTransfersReachVirMidiWhole(benchmark::State& state) {
  RawMidiReader wire("hw:0,0");  // first: virmidi passes bytes only to a reader
  if (!wire.Ready()) {
    state.SkipWithError("no hw:0,0 (snd-virmidi): run this in tests/vm/run-in-vm");
    return;
  }
  SetMidiBackend(ChooseMidiBackend());
  ui::ScriptedDialogs dialogs;
  TransferTally tally;
  {
    TForm1 form;
    Form1 = &form;
    Form2 = new TForm2;
    const Load load(true);
    size_t seen = 0;
    for (auto _ : state) {
      tally.Run(form, static_cast<int>(state.range(0)), [&] {
        const std::vector<RawMidiReader::Message> messages = wire.WaitFor(seen + 32);
        std::vector<std::string> got;
        for (size_t i = seen; i < messages.size(); ++i) got.push_back(messages[i].hex);
        seen = messages.size();
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
BENCHMARK(BM_LoadedTransfersReachVirMidiWhole)
    ->Arg(20)
    ->Iterations(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) { return RunEditorBenchmarks(argc, argv); }
