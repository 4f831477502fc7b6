// Pitch measurement: time per note and error in cents against the tone's
// frequency, on a saw with hiss and DC offset recorded for max(0.25 s, ten periods).
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "tune/pitch_meter.h"

static void BM_MeasurePitch(benchmark::State& state) {
  const double hz = static_cast<double>(state.range(0)) / 10;
  const double rate = 48000;
  std::mt19937 random(1);
  std::normal_distribution<double> hiss(0, 0.02);
  std::vector<float> tone(static_cast<std::size_t>(std::max(0.25, 10 / hz) * rate));
  double phase = 0.3;
  for (float& s : tone) {
    s = static_cast<float>(0.5 * (2 * phase - 1) + 0.1 + hiss(random));
    phase += hz / rate;
    phase -= std::floor(phase);
  }
  tune::PitchReading reading;
  for (auto _ : state) {
    reading = tune::MeasurePitch(tone.data(), tone.size(), rate);
    benchmark::DoNotOptimize(reading);
  }
  state.counters["cents"] = reading.hz > 0 ? tune::Cents(reading.hz, hz) : 999;
  state.counters["seconds_recorded"] = static_cast<double>(tone.size()) / rate;
}
BENCHMARK(BM_MeasurePitch)
    ->Arg(200)->Arg(550)->Arg(1100)->Arg(4400)->Arg(10465)->Arg(40000)
    ->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
