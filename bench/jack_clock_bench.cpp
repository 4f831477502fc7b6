// The clock generator at speed 600 (an F8 every 100 ms) on a real-time JACK
// server of the benchmark's own (dummy driver), the intervals measured at the
// peer's port from the frames the bytes arrive at: each within 1 ms of 100 ms.
// The ticks themselves are timed too, on the steady clock: what the peer adds
// to their intervals is ours. The window's event loop runs as the editor's does
// (QTest::qWait would look at the timer only every 10 ms or so).
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QEventLoop>
#include <QTimer>
#include <chrono>
#include <algorithm>
#include <cmath>
#include <string>
#include <vector>

#include "app/form1.h"
#include "editor_bench_main.h"
#include "jack_bench.h"
#include "ui/dialogs.h"

static void BM_ClockIntervalsAtAJackPeer(benchmark::State& state) {
  JackBench jack(testing_support::JackServer::Scheduling::kRealtime);
  if (!jack.Install(state)) return;
  testing_support::JackPeer& peer = jack.peer;
  ui::ScriptedDialogs dialogs;
  {
    TForm1 form;
    form.UpDown10->SetPosition(600);
    std::vector<double> tickMs;
    const auto tick = form.Timer1->OnTimer;
    const auto start = std::chrono::steady_clock::now();
    form.Timer1->OnTimer = [&](TObject* sender) {
      tickMs.push_back(
          std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
      tick(sender);
    };
    for (auto _ : state) {
      form.Button3->click();  // Run
      QEventLoop loop;
      QTimer::singleShot(static_cast<int>(state.range(0)) * 100 + 50, &loop, &QEventLoop::quit);
      loop.exec();
      form.Button3->click();  // Stop
    }
    std::vector<double> ticks;
    for (size_t i = 1; i < tickMs.size(); ++i) ticks.push_back(tickMs[i] - tickMs[i - 1]);
    std::vector<double> framed;
    double lastFrameMs = -1;
    while (auto event = peer.NextCapturedAt(std::chrono::milliseconds(500))) {
      if (event->bytes != std::vector<uint8_t>{0xF8}) continue;
      const double ms = event->frame * 1000.0 / peer.SampleRate();
      if (lastFrameMs >= 0) framed.push_back(ms - lastFrameMs);
      lastFrameMs = ms;
    }
    if (framed.empty() || framed.size() != ticks.size()) {
      state.SkipWithError("the clock bytes at the peer are not the ticks");
    } else {
      const auto report = [&](const std::string& on, const std::vector<double>& intervals) {
        double worst = 0;
        for (double interval : intervals) worst = std::max(worst, std::abs(interval - 100.0));
        state.counters[on + "_min_ms"] = *std::min_element(intervals.begin(), intervals.end());
        state.counters[on + "_max_ms"] = *std::max_element(intervals.begin(), intervals.end());
        state.counters[on + "_worst_off_ms"] = worst;
      };
      state.counters["intervals"] = static_cast<double>(framed.size());
      report("peer", framed);
      report("ticks", ticks);
      double added = 0;  // by the way from the tick to the peer's port
      for (size_t i = 0; i < framed.size(); ++i) added = std::max(added, std::abs(framed[i] - ticks[i]));
      state.counters["added_ms"] = added;
    }
  }
  SetMidiBackend(nullptr);
}
// Argument: clock bytes to send.
BENCHMARK(BM_ClockIntervalsAtAJackPeer)->Arg(50)->Iterations(1)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) { return RunEditorBenchmarks(argc, argv); }
