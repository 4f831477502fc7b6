#pragma once

#include "audio/audio_input.h"
#include "tune/tuning_run.h"

class TMidiOutput;

namespace tune {

// A tuning run on a real MIDI output and audio input, paced as every parameter
// message is.
class MidiTuningRig : public TuningRig {
 public:
  MidiTuningRig(TMidiOutput& port, audio::AudioInput& input) : port_(port), input_(input) {}
  void SendParameter(const ParameterMessage& message) override;
  void SendShort(std::uint32_t message) override;
  std::vector<float> Record(double seconds) override { return input_.Record(seconds); }
  double SampleRate() const override { return input_.SampleRate(); }

 private:
  TMidiOutput& port_;
  audio::AudioInput& input_;
};

}  // namespace tune
