// Ring buffer put + read + remove on one thread.
#include <benchmark/benchmark.h>

#include "midi/circular_buffer.h"

static void BM_RingBufferPutReadRemove(benchmark::State& state) {
  TCircularBuffer* buffer = CircbufAlloc(1024);
  TMidiBufferItem item{0, 0x643C90, nullptr};
  TMidiBufferItem out{};
  for (auto _ : state) {
    CircbufPutEvent(buffer, item);
    CircbufReadEvent(buffer, out);
    CircbufRemoveEvent(buffer);
    benchmark::DoNotOptimize(out);
    ++item.Timestamp;
  }
  state.SetItemsProcessed(state.iterations());
  CircbufFree(buffer);
}
BENCHMARK(BM_RingBufferPutReadRemove);

// Bursts: fill the buffer, then drain it, as when the GUI thread was busy.
static void BM_RingBufferBurst(benchmark::State& state) {
  TCircularBuffer* buffer = CircbufAlloc(1024);
  TMidiBufferItem item{0, 0x643C90, nullptr};
  TMidiBufferItem out{};
  for (auto _ : state) {
    while (CircbufPutEvent(buffer, item)) ++item.Timestamp;
    while (CircbufReadEvent(buffer, out)) {
      benchmark::DoNotOptimize(out);
      CircbufRemoveEvent(buffer);
    }
  }
  state.SetItemsProcessed(state.iterations() * 1024);
  CircbufFree(buffer);
}
BENCHMARK(BM_RingBufferBurst);

BENCHMARK_MAIN();
