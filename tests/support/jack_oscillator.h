#pragma once

#include <array>
#include <atomic>
#include <string>

#include "table/note_table.h"

struct _jack_client;
struct _jack_port;

namespace testing_support {

// The interface and an analogue oscillator on a JACK server: its MIDI input
// (a hardware port, as an interface's is) takes parameter messages for device
// ID 1 into its note table and configuration; while a note of its channel is
// held in Monophonic mode with CV 1 "Tab", its audio output plays a saw at the
// pitch OscillatorHz gives for the entry's DAC value, drifting slowly, over a
// sound card's noise floor (-74 dBFS).
class JackOscillator {
 public:
  explicit JackOscillator(const std::string& name = "tqx-osc");
  ~JackOscillator();
  JackOscillator(const JackOscillator&) = delete;
  JackOscillator& operator=(const JackOscillator&) = delete;

  const std::string& Why() const { return why_; }
  std::string MidiInput() const;   // "tqx-osc:midi_in"
  std::string AudioOutput() const; // "tqx-osc:out"
  // The client ends, as an unplugged interface.
  void Close();

  int Entry(int i) const { return table_[static_cast<std::size_t>(i)].load(); }
  int Field(int parameter) const { return record_[static_cast<std::size_t>(parameter - 32)].load(); }
  int WritesToFlash() const { return flashes_.load(); }
  // Sets the state it starts with, as a configuration and table sent earlier.
  void Preset(int parameter, int value);

 private:
  static int Process(unsigned frames, void* self);
  void Receive(const unsigned char* bytes, std::size_t size);

  std::string why_;
  _jack_client* client_ = nullptr;
  _jack_port* midi_ = nullptr;
  _jack_port* out_ = nullptr;
  std::array<std::atomic<int>, kTableSize> table_{};
  std::array<std::atomic<int>, 32> record_{};
  std::atomic<int> flashes_{0};
  int held_ = -1;
  double phase_ = 0;
  double seconds_ = 0;
  unsigned noise_ = 12345;
  double rate_ = 48000;
};

}  // namespace testing_support
