// The clock generator at speed 600 (an F8 every 100 ms) on a real-time JACK
// server of the benchmark's own (dummy driver), the intervals measured at the
// peer's port from the frames the bytes arrive at: each within 1 ms of 100 ms.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <vector>

#include "app/form1.h"
#include "editor_bench_main.h"
#include "midi/platform/jack_backend.h"
#include "midi/platform/midi_backend.h"
#include "support/jack_peer.h"
#include "support/jack_server.h"
#include "ui/dialogs.h"

using testing_support::JackPeer;
using testing_support::JackServer;

static void BM_ClockIntervalsAtAJackPeer(benchmark::State& state) {
  JackServer server(JackServer::Scheduling::kRealtime);
  if (!server.Running()) {
    state.SkipWithError(server.Why().c_str());
    return;
  }
  JackPeer peer;
  std::string why;
  std::unique_ptr<MidiBackend> backend = OpenJackMidiBackend(why);
  if (!peer.Ready() || !backend) {
    state.SkipWithError(peer.Ready() ? why.c_str() : peer.Why().c_str());
    return;
  }
  SetMidiBackend(std::move(backend));
  ui::ScriptedDialogs dialogs;
  {
    TForm1 form;
    form.UpDown10->SetPosition(600);
    for (auto _ : state) {
      form.Button3->click();  // Run
      QTest::qWait(static_cast<int>(state.range(0)) * 100 + 50);
      form.Button3->click();  // Stop
    }
    std::vector<double> intervals;
    double last = -1;
    while (auto event = peer.NextCapturedAt(std::chrono::milliseconds(500))) {
      if (event->bytes != std::vector<uint8_t>{0xF8}) continue;
      const double ms = event->frame * 1000.0 / peer.SampleRate();
      if (last >= 0) intervals.push_back(ms - last);
      last = ms;
    }
    if (intervals.empty()) {
      state.SkipWithError("no clock bytes reached the peer");
    } else {
      double worst = 0;
      for (double interval : intervals) worst = std::max(worst, std::abs(interval - 100.0));
      state.counters["intervals"] = static_cast<double>(intervals.size());
      state.counters["min_ms"] = *std::min_element(intervals.begin(), intervals.end());
      state.counters["max_ms"] = *std::max_element(intervals.begin(), intervals.end());
      state.counters["worst_off_ms"] = worst;
    }
  }
  SetMidiBackend(nullptr);
}
// Argument: clock bytes to send.
BENCHMARK(BM_ClockIntervalsAtAJackPeer)->Arg(50)->Iterations(1)->Unit(benchmark::kMillisecond)
    ->UseRealTime();

int main(int argc, char** argv) { return RunEditorBenchmarks(argc, argv); }
