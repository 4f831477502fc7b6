#pragma once

// Synthesised oscillator tones, and a stand-in for the interface with an
// analogue oscillator patched to its CV 1, for the auto-tune tests.

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <stdexcept>
#include <vector>

#include "protocol/parameter_map.h"
#include "tune/tuning_run.h"

namespace testing_support {

enum class Wave { Sine, Saw, Square, StrongSecondHarmonic };

inline std::vector<float> Tone(Wave wave, double hz, double rate, double seconds, double amplitude = 0.5,
                        double noise = 0.02, double dc = 0.1, unsigned seed = 7) {
  std::mt19937 random(seed);
  std::normal_distribution<double> hiss(0, noise);
  std::vector<float> out(static_cast<std::size_t>(seconds * rate));
  double phase = std::uniform_real_distribution<double>(0, 1)(random);
  for (float& s : out) {
    const double a = 2 * std::numbers::pi * phase;
    double v = 0;
    switch (wave) {
      case Wave::Sine: v = std::sin(a); break;
      case Wave::Saw: v = 2 * phase - 1; break;
      case Wave::Square: v = phase < 0.5 ? 1 : -1; break;
      case Wave::StrongSecondHarmonic: v = 0.5 * std::sin(a) + 0.5 * std::sin(2 * a); break;
    }
    s = static_cast<float>(amplitude * v + dc + hiss(random));
    phase += hz / rate;
    phase -= std::floor(phase);
  }
  return out;
}

// An untrimmed VCO on the DAC's 0..5 V: +25 cents per octave of scale error and
// the flattening at the top that its exponential converter's bulk resistance
// gives (about 8 cents at 5 V), the order of figures published for analogue
// oscillators before trimming.
inline double OscillatorHz(double dac) {
  const double volts = dac * 5.0 / 255;
  return 32.70 * std::exp2(volts * (1 + 25.0 / 1200) - 8.0 / 1200 * (volts / 5) * (volts / 5));
}

// The interface and the oscillator in one: it keeps the table and the
// configuration from the parameter messages it receives and, while a note of
// its channel is held in Monophonic mode with CV 1 "Tab", plays a saw at the
// pitch its table entry gives.
class SimulatedRig : public tune::TuningRig {
 public:
  enum class Fault { None, Unpatched, PitchIgnoresNotes, UnpluggedAfter80 };
  explicit SimulatedRig(Fault fault = Fault::None) : fault_(fault) {
    for (int i = 0; i < kTableSize; ++i) table[static_cast<std::size_t>(i)] = 5 * i + 10;
  }

  void SendParameter(const ParameterMessage& m) override {
    if (fault_ == Fault::UnpluggedAfter80 && messages.size() == 80)
      throw std::runtime_error("the MIDI output was unplugged");
    messages.push_back(m);
    const int value = m[5] | m[6] << 4;
    if (m[4] >= param::TABLE_FIRST && m[4] < param::TABLE_FIRST + kTableSize) table[m[4] - param::TABLE_FIRST] = value;
    if (m[4] < param::TABLE_FIRST) record[m[4] - param::CONFIG_FIRST] = static_cast<std::uint8_t>(value);
  }
  void SendShort(std::uint32_t message) override {
    const int channel = static_cast<int>(message & 0x0F) + 1;
    const int note = static_cast<int>(message >> 8 & 0x7F);
    if ((message & 0xF0) == 0x90 && channel == record[0] + 1) held_ = note;
    if ((message & 0xF0) == 0x80 && note == held_) held_ = -1;
  }
  std::vector<float> Record(double seconds) override {
    const int entry = held_ - record[param::NREF - param::CONFIG_FIRST];
    const bool follows = !(record[param::CFG0 - param::CONFIG_FIRST] & 0x82) &&
                         (record[param::CFG2 - param::CONFIG_FIRST] & 0x01) && entry >= 0 && entry < kTableSize;
    double hz = follows && fault_ != Fault::PitchIgnoresNotes ? OscillatorHz(table[static_cast<std::size_t>(entry)]) : 130;
    const bool silent = held_ < 0 || fault_ == Fault::Unpatched;
    return Tone(Wave::Saw, hz, 48000, seconds, silent ? 0 : 0.4, silent ? 0.0002 : 0.01, 0.05, ++seed_);
  }
  double SampleRate() const override { return 48000; }

  std::vector<ParameterMessage> messages;
  TNoteTable table{};
  std::array<std::uint8_t, 32> record{2, 24, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0x02};

 private:
  Fault fault_;
  int held_ = -1;
  unsigned seed_ = 0;
};

}  // namespace testing_support
