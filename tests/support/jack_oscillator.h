#pragma once

#include <string>

#include "support/simulated_rig.h"

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

  // What it holds: a configuration and table sent earlier, then what the test sent.
  InterfaceModel& Interface() { return model_; }

 private:
  static int Process(unsigned frames, void* self);

  std::string why_;
  _jack_client* client_ = nullptr;
  _jack_port* midi_ = nullptr;
  _jack_port* out_ = nullptr;
  InterfaceModel model_{{}, {}};
  double phase_ = 0;
  double seconds_ = 0;
  unsigned noise_ = 12345;
  double rate_ = 48000;
};

}  // namespace testing_support
