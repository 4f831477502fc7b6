// Events per second from a MIDI callback thread to the GUI thread: the callback
// queues each event and posts a notice; the GUI thread takes them with
// GetMidiEvent from OnMidiInput, as a reader of the input port would.
#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <thread>

#include "midi/midi_handler.h"
#include "midi/midi_input.h"
#include "midi/platform/virtual_backend.h"

static void BM_CallbackToGuiThread(benchmark::State& state) {
  const int64_t events = state.range(0);
  auto backend = std::make_unique<VirtualMidiBackend>();
  backend->AddInputDevice("Bench In");
  SetMidiBackend(std::move(backend));
  TMidiInput port(nullptr);
  port.Capacity = 5461;
  port.Open();
  port.Start();
  int64_t received = 0;
  port.OnMidiInput = [&](TObject*) {
    while (auto event = port.GetMidiEvent()) {
      benchmark::DoNotOptimize(event->DataByte1);
      ++received;
    }
  };
  auto instance = reinterpret_cast<DWORD_PTR>(port.NotifyBlock());

  for (auto _ : state) {
    received = 0;
    // The callback thread; a full buffer drops events, so it waits for room.
    std::thread callback([&] {
      for (int64_t i = 0; i < events; ++i) {
        while (port.EventBuffer()->Count.load(std::memory_order_acquire) >= port.Capacity)
          std::this_thread::yield();
        midiHandler(nullptr, MIM_DATA, instance, 0x643C90, static_cast<DWORD_PTR>(i));
      }
    });
    while (received < events) QCoreApplication::processEvents();
    callback.join();
    QCoreApplication::processEvents();  // leftover notices
  }
  state.SetItemsProcessed(state.iterations() * events);
  port.Close();
  SetMidiBackend(nullptr);
}
BENCHMARK(BM_CallbackToGuiThread)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
