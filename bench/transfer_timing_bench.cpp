// How long n paced parameter messages take with the real clock, alone and as a
// full transfer (progress window and gauge included),
// and how much processor it uses meanwhile: n x 100 ms plus at most 0.1 %, at
// most 2 % CPU, on an idle machine and with a busy loop on every core (child
// processes of the benchmark's own, so their time is not counted as ours).
// On the virtual backend and on a real-time JACK server of the benchmark's own;
// the waits alone, with nothing sent, show what the host itself adds.
#include <benchmark/benchmark.h>
#include <time.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include <QTemporaryDir>
#include <fstream>
#include <sstream>

#include "app/form1.h"
#include "cli/tool.h"
#include "bench_load.h"
#include "editor_bench_main.h"
#include "jack_bench.h"
#include "midi/platform/virtual_backend.h"
#include "protocol/paced_send.h"
#include "protocol/pacing_clock.h"
#include "table/form2.h"

namespace {

double ProcessCpuMs() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

void Report(benchmark::State& state, double tookMs, double cpuMs, int messages) {
  const double transfers = static_cast<double>(state.iterations());
  state.counters["overshoot_%"] = (tookMs / (transfers * messages * 100.0) - 1.0) * 100.0;
  state.counters["cpu_%"] = cpuMs / tookMs * 100.0;
}

// Arguments: messages, load on every core (0 or 1), full transfer (0 or 1),
// backend (0 virtual, 1 JACK).
void BM_PacedTransfer(benchmark::State& state) {
  const int messages = static_cast<int>(state.range(0));
  std::optional<JackBench> jack;
  if (state.range(3)) {
    jack.emplace(testing_support::JackServer::Scheduling::kRealtime);
    if (!jack->Install(state)) return;
  } else {
    auto backend = std::make_unique<VirtualMidiBackend>();
    backend->AddInputDevice("Bench In");
    backend->AddOutputDevice("Bench Out", MOD_MIDIPORT);
    SetMidiBackend(std::move(backend));
  }
  {
    TForm1 form;
    Form1 = &form;
    Form2 = new TForm2;
    const std::vector<int> values(messages, 0x55);
    const Load load(state.range(1) != 0);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));  // the load is up
    double tookMs = 0, cpuMs = 0;
    for (auto _ : state) {
      const double cpu = ProcessCpuMs();
      const auto start = std::chrono::steady_clock::now();
      if (state.range(2)) {
        form.SendWithProgress(32, values.data(), messages, 1);
      } else {
        for (int i = 0; i < messages; ++i) form.SendParameter(0, 32 + i, values[i]);
      }
      const std::chrono::duration<double, std::milli> took =
          std::chrono::steady_clock::now() - start;
      tookMs += took.count();
      cpuMs += ProcessCpuMs() - cpu;
      QApplication::processEvents();
      if (jack) {
        while (jack->peer.NextCaptured(std::chrono::milliseconds(300))) {
        }
      }
    }
    // Over every transfer of the run; the first one also makes the progress
    // window's native window (some 6 ms here), as the editor's first does.
    Report(state, tookMs, cpuMs, messages);
    delete Form2;
    Form2 = nullptr;
    Form1 = nullptr;
  }
  SetMidiBackend(nullptr);
}

// The waits of n messages with nothing sent: the floor the host sets.
// Arguments: messages, load on every core (0 or 1).
void BM_PacedWaitsAlone(benchmark::State& state) {
  const int messages = static_cast<int>(state.range(0));
  const Load load(state.range(1) != 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  double tookMs = 0, cpuMs = 0;
  for (auto _ : state) {
    const double cpu = ProcessCpuMs();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < messages; ++i) {
      const PacingPriority priority;
      PacedWait(PacingClock::Current(), kPacingMilliseconds);
    }
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    tookMs += took.count();
    cpuMs += ProcessCpuMs() - cpu;
  }
  Report(state, tookMs, cpuMs, messages);
}

// The tool's `send` of a 48-entry table, in process, on the virtual backend.
// Arguments: load on every core (0 or 1).
void BM_ToolSend(benchmark::State& state) {
  QTemporaryDir folder;
  const std::string table = folder.filePath("bench.3CV").toStdString();
  std::ofstream(table, std::ios::binary) << std::string(48, '\x40');
  const Load load(state.range(0) != 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  double tookMs = 0, cpuMs = 0;
  for (auto _ : state) {
    std::ostringstream out, err;
    cli::Io io{out, err, false, {}, {}};
    io.connectMidi = [] {
      auto backend = std::make_unique<VirtualMidiBackend>();
      backend->AddOutputDevice("Bench Out", MOD_MIDIPORT);
      SetMidiBackend(std::move(backend));
    };
    const double cpu = ProcessCpuMs();
    const auto start = std::chrono::steady_clock::now();
    const int code = cli::Run({"send", table, "--port", "Bench Out"}, io);
    const std::chrono::duration<double, std::milli> took = std::chrono::steady_clock::now() - start;
    tookMs += took.count();
    cpuMs += ProcessCpuMs() - cpu;
    SetMidiBackend(nullptr);
    if (code != 0) state.SkipWithError(err.str().c_str());
  }
  Report(state, tookMs, cpuMs, 48);
}

}  // namespace

BENCHMARK(BM_ToolSend)
    ->ArgNames({"loaded"})
    ->DenseRange(0, 1)
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PacedWaitsAlone)
    ->ArgNames({"messages", "loaded"})
    ->ArgsProduct({{48}, {0, 1}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PacedTransfer)
    ->ArgNames({"messages", "loaded", "full", "jack"})
    ->ArgsProduct({{32, 48}, {0, 1}, {0, 1}, {0}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();
BENCHMARK(BM_PacedTransfer)
    ->ArgNames({"messages", "loaded", "full", "jack"})
    ->ArgsProduct({{32, 48}, {0, 1}, {1}, {1}})
    ->Iterations(3)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) { return RunEditorBenchmarks(argc, argv); }
