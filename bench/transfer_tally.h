#pragma once

#include <benchmark/benchmark.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "app/form1.h"
#include "protocol/parameter_message.h"
#include "support/test_support.h"

// What full transfers of 32 messages delivered at the far end, against what
// was sent: whole, or which messages were lost, doubled or out of order.
class TransferTally {
 public:
  // The 32 messages of a transfer whose every value is `value`, as hex.
  static std::vector<std::string> Expected(int value) {
    std::vector<std::string> messages;
    for (int i = 0; i < 32; ++i) {
      const ParameterMessage m = BuildParameterMessage(0, 32 + i, value);
      messages.push_back(testing_support::Hex(std::vector<uint8_t>(m.begin(), m.end())));
    }
    return messages;
  }
  // `transfers` full transfers from the window, transfer k carrying value k;
  // collect returns what reached the far end since the last call.
  void Run(TForm1& form, int transfers,
           const std::function<std::vector<std::string>()>& collect) {
    for (int transfer = 0; transfer < transfers; ++transfer) {
      const std::vector<int> values(32, transfer);
      form.SendWithProgress(32, values.data(), 32, 1);
      Add(Expected(transfer), collect());
    }
  }
  void Add(const std::vector<std::string>& expected, const std::vector<std::string>& got) {
    if (got == expected) {
      ++whole_;
      return;
    }
    for (const std::string& message : expected) {
      const auto count = std::count(got.begin(), got.end(), message);
      lost_ += count == 0;
      doubled_ += count > 1;
    }
    reordered_ += std::is_sorted(got.begin(), got.end()) ? 0 : 1;
  }
  void Report(benchmark::State& state, size_t errors) const {
    state.counters["whole"] = whole_;
    state.counters["lost"] = lost_;
    state.counters["doubled"] = doubled_;
    state.counters["reordered"] = reordered_;
    state.counters["errors"] = static_cast<double>(errors);
  }

 private:
  int whole_ = 0, lost_ = 0, doubled_ = 0, reordered_ = 0;
};
