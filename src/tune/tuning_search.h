#pragma once

#include <array>
#include <stdexcept>
#include <vector>

#include "table/note_table.h"

namespace tune {

// The pitch a DAC value gave, as measured.
struct Probe {
  int dac = 0;
  double hz = 0;
};

// Thrown when the measured pitches cannot be a CV 1 driving the oscillator.
struct TuningError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// The probe table: DAC values spread evenly over 0..255, one per note, rising.
TNoteTable ProbeTable();

// Equal-tempered targets: entry i is i semitones above base_hz.
std::array<double, kTableSize> TargetFrequencies(double base_hz);
// The base note's pitch when MIDI note 69 sounds at a4_hz.
double BaseFrequencyFromA4(int base_note, double a4_hz);

// Pitch against DAC value, from probes: log2 of the frequency, straight between
// neighbouring probes and along the end segments beyond them. An oscillator
// tracks exponentially, so this is close to straight, bends and all.
class PitchCurve {
 public:
  // Throws TuningError when the probes do not rise with the DAC value: the
  // notes did not reach the oscillator.
  explicit PitchCurve(std::vector<Probe> probes);
  double Octaves(double dac) const;
  // The DAC value (0..255) whose pitch is closest to target_hz, in cents.
  int ClosestDac(double target_hz) const;
  // Cents from one DAC step to the next around dac.
  double CentsPerStep(int dac) const;

 private:
  std::vector<Probe> probes_;
};

// After a note was measured at dac: the value to try next when another is
// predicted closer to the target, or dac itself when it is already the closest.
int NextGuess(const PitchCurve& curve, int dac, double measured_hz, double target_hz);

}  // namespace tune
