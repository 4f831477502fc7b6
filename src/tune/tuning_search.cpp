#include "tune/tuning_search.h"

#include <algorithm>
#include <cmath>

namespace tune {
namespace {

constexpr int kDacMax = 255;
// A probe may read this much below the one before it (noise) and still rise.
constexpr double kFallTolerance = 1.0 / 1200 * 5;

const char* const kNotFollowing =
    "the pitch does not follow the notes: check the MIDI channel and the CV 1 patch";

}  // namespace

TNoteTable ProbeTable() {
  TNoteTable table{};
  for (int i = 0; i < kTableSize; ++i) table[i] = (i * kDacMax + (kTableSize - 1) / 2) / (kTableSize - 1);
  return table;
}

std::array<double, kTableSize> TargetFrequencies(double base_hz) {
  std::array<double, kTableSize> targets{};
  for (int i = 0; i < kTableSize; ++i) targets[i] = base_hz * std::exp2(i / 12.0);
  return targets;
}

double BaseFrequencyFromA4(int base_note, double a4_hz) {
  return a4_hz * std::exp2((base_note - 69) / 12.0);
}

PitchCurve::PitchCurve(std::vector<Probe> probes) : probes_(std::move(probes)) {
  std::sort(probes_.begin(), probes_.end(),
            [](const Probe& a, const Probe& b) { return a.dac < b.dac; });
  probes_.erase(std::unique(probes_.begin(), probes_.end(),
                            [](const Probe& a, const Probe& b) { return a.dac == b.dac; }),
                probes_.end());
  if (probes_.size() < 2) throw TuningError("too few notes were measured to tune");
  for (std::size_t i = 1; i < probes_.size(); ++i)
    if (std::log2(probes_[i].hz) < std::log2(probes_[i - 1].hz) - kFallTolerance)
      throw TuningError(kNotFollowing);
  if (std::log2(probes_.back().hz / probes_.front().hz) < 1.0 / 12) throw TuningError(kNotFollowing);
}

double PitchCurve::Octaves(double dac) const {
  auto upper = std::upper_bound(probes_.begin() + 1, probes_.end() - 1, dac,
                                [](double v, const Probe& p) { return v < p.dac; });
  const Probe& a = *(upper - 1);
  const Probe& b = *upper;
  const double t = (dac - a.dac) / static_cast<double>(b.dac - a.dac);
  return std::log2(a.hz) + t * (std::log2(b.hz) - std::log2(a.hz));
}

int PitchCurve::ClosestDac(double target_hz) const {
  const double target = std::log2(target_hz);
  int best = 0;
  for (int v = 1; v <= kDacMax; ++v)
    if (std::fabs(Octaves(v) - target) < std::fabs(Octaves(best) - target)) best = v;
  return best;
}

double PitchCurve::CentsPerStep(int dac) const {
  const int v = std::clamp(dac, 0, kDacMax - 1);
  return 1200 * (Octaves(v + 1) - Octaves(v));
}

int NextGuess(const PitchCurve& curve, int dac, double measured_hz, double target_hz) {
  const double sharp = 1200 * std::log2(measured_hz / target_hz);
  const double step = curve.CentsPerStep(dac);
  if (step <= 0 || std::fabs(sharp) <= step / 2) return dac;
  return std::clamp(dac - static_cast<int>(std::lround(sharp / step)), 0, kDacMax);
}

}  // namespace tune
