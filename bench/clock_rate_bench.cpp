// The clock generator at speed 600 (100 ms) for 10 s on the virtual backend: how
// many F8 bytes leave per second, and how steady the intervals between ticks are.
#include <benchmark/benchmark.h>

#include <QEventLoop>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <vector>

#include "app/form1.h"
#include "editor_bench_main.h"
#include "midi/platform/virtual_backend.h"

static void BM_ClockGenerator(benchmark::State& state) {
  using Clock = std::chrono::steady_clock;
  const int seconds = static_cast<int>(state.range(0));
  auto backend = std::make_unique<VirtualMidiBackend>();
  VirtualMidiBackend* midi = backend.get();
  backend->AddInputDevice("Bench In");
  backend->AddOutputDevice("Bench Out", MOD_MIDIPORT);
  SetMidiBackend(std::move(backend));
  {
    TForm1 form;
    std::vector<Clock::time_point> ticks;
    const TNotifyEvent send = form.Timer1->OnTimer;
    form.Timer1->OnTimer = [&](TObject* sender) {
      ticks.push_back(Clock::now());
      send(sender);
    };
    form.UpDown10->SetPosition(600);
    for (auto _ : state) {
      ticks.clear();
      const size_t before = midi->Sent(0).size();
      const auto start = Clock::now();
      form.Button3->click();
      QEventLoop loop;
      QTimer::singleShot(seconds * 1000, Qt::PreciseTimer, &loop, &QEventLoop::quit);
      loop.exec();
      form.Button3->click();
      const std::chrono::duration<double> ran = Clock::now() - start;

      const auto sent = midi->Sent(0);
      const auto clocks = std::count_if(sent.begin() + static_cast<long>(before), sent.end(),
                                        [](const auto& m) { return m == std::vector<BYTE>{0xF8}; });
      std::vector<double> gaps;
      for (size_t i = 1; i < ticks.size(); ++i)
        gaps.push_back(std::chrono::duration<double, std::milli>(ticks[i] - ticks[i - 1]).count());
      double mean = 0;
      for (double gap : gaps) mean += gap;
      mean /= std::max<size_t>(gaps.size(), 1);
      double variance = 0;
      for (double gap : gaps) variance += (gap - mean) * (gap - mean);
      variance /= std::max<size_t>(gaps.size(), 1);
      state.counters["F8_per_s"] = static_cast<double>(clocks) / ran.count();
      state.counters["gap_mean_ms"] = mean;
      state.counters["gap_sd_ms"] = std::sqrt(variance);
      state.counters["gap_min_ms"] = gaps.empty() ? 0 : *std::min_element(gaps.begin(), gaps.end());
      state.counters["gap_max_ms"] = gaps.empty() ? 0 : *std::max_element(gaps.begin(), gaps.end());
    }
  }
  SetMidiBackend(nullptr);
}
BENCHMARK(BM_ClockGenerator)->Arg(10)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) { return RunEditorBenchmarks(argc, argv); }
