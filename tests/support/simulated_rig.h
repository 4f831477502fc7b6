#pragma once

// Synthesised oscillator tones, and a stand-in for the interface with an
// analogue oscillator patched to its CV 1, for the auto-tune tests.

#include <array>
#include <atomic>
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

// The interface as every rig keeps it: its table and configuration as the
// parameter messages for device ID 1 left them, the note held on its channel,
// and the pitch its CV 1 gives the oscillator. Its own thread writes; a test
// may read at any time.
class InterfaceModel {
 public:
  InterfaceModel(const std::array<std::uint8_t, 32>& record, const TNoteTable& table) {
    for (int i = 0; i < 32; ++i) Preset(param::CONFIG_FIRST + i, record[static_cast<std::size_t>(i)]);
    for (int i = 0; i < kTableSize; ++i) Preset(param::TABLE_FIRST + i, table[static_cast<std::size_t>(i)]);
  }
  void Preset(int parameter, int value) {
    if (parameter >= param::TABLE_FIRST) table_[static_cast<std::size_t>(parameter - param::TABLE_FIRST)] = value;
    else record_[static_cast<std::size_t>(parameter - param::CONFIG_FIRST)] = value;
  }
  // One whole message; the parameter it set, or -1.
  int Receive(const std::uint8_t* m, std::size_t size) {
    if (size == 8 && m[0] == 0xF0 && m[1] == 0x70 && m[2] == 0x7B && m[3] == 0 && m[7] == 0xF7) {
      if (m[4] == param::COMMAND) ++flashes_;
      else if (m[4] >= param::CONFIG_FIRST && m[4] < param::TABLE_FIRST + kTableSize) Preset(m[4], m[5] | m[6] << 4);
      return m[4];
    }
    if (size == 3 && (m[0] & 0x0F) == Field(param::CAN) % 16) {
      if ((m[0] & 0xF0) == 0x90 && m[2] > 0) held_ = m[1];
      else if ((m[0] & 0xE0) == 0x80 && m[1] == held_) held_ = -1;
    }
    return -1;
  }
  int Entry(int i) const { return table_[static_cast<std::size_t>(i)]; }
  int Field(int parameter) const { return record_[static_cast<std::size_t>(parameter - param::CONFIG_FIRST)]; }
  int Flashes() const { return flashes_; }
  bool Holding() const { return held_ >= 0; }
  TNoteTable Table() const {
    TNoteTable table{};
    for (int i = 0; i < kTableSize; ++i) table[static_cast<std::size_t>(i)] = Entry(i);
    return table;
  }
  std::array<std::uint8_t, 32> Record() const {
    std::array<std::uint8_t, 32> record{};
    for (int i = 0; i < 32; ++i) record[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(Field(32 + i));
    return record;
  }
  // The held note's entry through OscillatorHz in Monophonic mode with CV 1
  // "Tab"; with the mode or the patch wrong, the oscillator's own 130 Hz.
  double Pitch() const {
    const int entry = held_ - Field(param::NREF);
    const bool follows = !(Field(param::CFG0) & 0x82) && (Field(param::CFG2) & 0x01) && entry >= 0 &&
                         entry < kTableSize;
    return follows ? OscillatorHz(Entry(entry)) : 130;
  }

 private:
  std::array<std::atomic<int>, kTableSize> table_{};
  std::array<std::atomic<int>, 32> record_{};
  std::atomic<int> flashes_{0};
  std::atomic<int> held_{-1};
};

// The interface and the oscillator in one, for the engine: a note plays a saw
// at the interface's pitch, at once.
class SimulatedRig : public tune::TuningRig {
 public:
  enum class Fault { None, Unpatched, PitchIgnoresNotes, UnpluggedAfter80 };
  explicit SimulatedRig(Fault fault = Fault::None) : fault_(fault) {}

  void SendParameter(const ParameterMessage& m) override {
    if (fault_ == Fault::UnpluggedAfter80 && messages.size() == 80)
      throw std::runtime_error("the MIDI output was unplugged");
    messages.push_back(m);
    model.Receive(m.data(), m.size());
  }
  void SendShort(std::uint32_t message) override {
    const std::uint8_t bytes[3] = {static_cast<std::uint8_t>(message), static_cast<std::uint8_t>(message >> 8),
                                   static_cast<std::uint8_t>(message >> 16)};
    model.Receive(bytes, 3);
  }
  std::vector<float> Record(double seconds) override {
    const double hz = fault_ == Fault::PitchIgnoresNotes ? 130 : model.Pitch();
    const bool silent = !model.Holding() || fault_ == Fault::Unpatched;
    return Tone(Wave::Saw, hz, 48000, seconds, silent ? 0 : 0.4, silent ? 0.0002 : 0.01, 0.05, ++seed_);
  }
  double SampleRate() const override { return 48000; }

  // Channel 3, base note 24, Polyphonic, CV 2 "Tab"; entry i is 5 i + 10.
  static std::array<std::uint8_t, 32> HeldRecord() { return {2, 24, 0, 0, 0, 0, 0, 0, 0, 0x80, 0, 0x02}; }
  static TNoteTable HeldTable() {
    TNoteTable table{};
    for (int i = 0; i < kTableSize; ++i) table[static_cast<std::size_t>(i)] = 5 * i + 10;
    return table;
  }

  std::vector<ParameterMessage> messages;
  InterfaceModel model{HeldRecord(), HeldTable()};

 private:
  Fault fault_;
  unsigned seed_ = 0;
};

}  // namespace testing_support
