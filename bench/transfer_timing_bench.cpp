// How long a paced transfer of n parameter messages takes with the real clock:
// it should be n x 100 ms plus at most 1 %.
#include <benchmark/benchmark.h>

#include <chrono>

#include "app/form1.h"
#include "editor_bench_main.h"
#include "midi/platform/virtual_backend.h"

static void BM_PacedTransfer(benchmark::State& state) {
  const int messages = static_cast<int>(state.range(0));
  auto backend = std::make_unique<VirtualMidiBackend>();
  backend->AddInputDevice("Bench In");
  backend->AddOutputDevice("Bench Out", MOD_MIDIPORT);
  SetMidiBackend(std::move(backend));
  {
    TForm1 form;
    for (auto _ : state) {
      const auto start = std::chrono::steady_clock::now();
      for (int i = 0; i < messages; ++i) form.SendParameter(0, 32 + i, i);
      const std::chrono::duration<double, std::milli> took =
          std::chrono::steady_clock::now() - start;
      state.counters["overhead_%"] = (took.count() / (messages * 100.0) - 1.0) * 100.0;
      QApplication::processEvents();
    }
  }
  SetMidiBackend(nullptr);
}
BENCHMARK(BM_PacedTransfer)->Arg(32)->Arg(48)->Iterations(1)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) { return RunEditorBenchmarks(argc, argv); }
