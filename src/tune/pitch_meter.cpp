#include "tune/pitch_meter.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>
#include <vector>

namespace tune {
namespace {

// Below -60 dBFS there is no oscillator on the input, only its hiss.
constexpr double kSilenceRms = 0.001;
// More than one sample in a thousand at full scale: the top of the wave is cut.
constexpr double kFullScale = 0.999;
// YIN's threshold for "periodic here": the first lag whose normalised difference
// dips below it is the period; with no such lag, the deepest dip must reach 0.35.
constexpr double kDipThreshold = 0.15;
constexpr double kWorstDip = 0.35;
// The two halves of a steady tone agree far better than this.
constexpr double kUnstableCents = 8.0;

// Sum over the window of (x[j] - x[j + lag])^2.
double Difference(const std::vector<double>& x, std::size_t window, std::size_t lag) {
  double sum = 0;
  for (std::size_t j = 0; j < window; ++j) {
    const double d = x[j] - x[j + lag];
    sum += d * d;
  }
  return sum;
}

// Offset of the vertex of the parabola through (-1, a), (0, b), (1, c).
double Vertex(double a, double b, double c) {
  const double denominator = a - 2 * b + c;
  if (denominator <= 0) return 0;
  return std::clamp(0.5 * (a - c) / denominator, -0.5, 0.5);
}

struct Coarse {
  double period = 0;  // in samples
  double dip = 1;     // normalised difference at the period
};

Coarse CoarsePeriod(const std::vector<double>& x, std::size_t min_lag, std::size_t max_lag) {
  const std::size_t window = std::min(x.size() - max_lag - 1, std::max<std::size_t>(4096, 2 * max_lag));
  std::vector<double> normalised(max_lag + 2, 1.0);
  double running = 0;
  std::size_t best = 0;
  bool dipping = false;
  // Lag by lag, stopping at the bottom of the first dip: a high note needs few.
  for (std::size_t lag = 1; lag <= max_lag + 1; ++lag) {
    const double d = Difference(x, window, lag);
    running += d;
    normalised[lag] = running > 0 ? d * static_cast<double>(lag) / running : 1.0;
    if (dipping && normalised[lag] >= normalised[lag - 1]) {
      best = lag - 1;
      break;
    }
    if (lag >= min_lag && lag <= max_lag && normalised[lag] < kDipThreshold) dipping = true;
  }
  if (best == 0) {
    best = min_lag;
    for (std::size_t lag = min_lag; lag <= max_lag; ++lag)
      if (normalised[lag] < normalised[best]) best = lag;
  }
  const double offset = Vertex(normalised[best - 1], normalised[best], normalised[best + 1]);
  return {static_cast<double>(best) + offset, normalised[best]};
}

// The lag of the dip near guess: a parabola fitted by least squares to the
// difference function over a tenth of a period either side of its lowest
// point, which averages out the hiss a single point carries and holds for the
// V-shaped dip that a saw's edge makes as well as for a round one.
double DipNear(const double* x, std::size_t count, double guess, double period) {
  const auto h = static_cast<std::ptrdiff_t>(std::max(3.0, std::round(period / 10)));
  const auto centre = static_cast<std::ptrdiff_t>(std::lround(guess));
  // Whole periods only: a saw edge cut off at the window's end would tilt the dip.
  const double room = static_cast<double>(count - static_cast<std::size_t>(centre + 2 * h) - 1);
  const auto window = static_cast<std::size_t>(std::floor(room / period) * period);
  std::vector<double> d(static_cast<std::size_t>(4 * h + 1));
  for (std::ptrdiff_t u = -2 * h; u <= 2 * h; ++u) {
    const auto lag = static_cast<std::size_t>(std::max<std::ptrdiff_t>(centre + u, 1));
    double sum = 0;
    for (std::size_t j = 0; j < window; ++j) {
      const double e = x[j] - x[j + lag];
      sum += e * e;
    }
    d[static_cast<std::size_t>(u + 2 * h)] = sum;
  }
  const auto lowest = static_cast<std::ptrdiff_t>(std::min_element(d.begin() + h, d.end() - h) - d.begin());
  double n = 0, su2 = 0, su4 = 0, sd = 0, sud = 0, su2d = 0;
  for (std::ptrdiff_t u = -h; u <= h; ++u) {
    const double v = d[static_cast<std::size_t>(lowest + u)];
    const double uu = static_cast<double>(u);
    n += 1, su2 += uu * uu, su4 += uu * uu * uu * uu;
    sd += v, sud += uu * v, su2d += uu * uu * v;
  }
  const double curvature = (n * su2d - su2 * sd) / (n * su4 - su2 * su2);
  double offset = 0;
  if (curvature > 0) offset = std::clamp(-sud / su2 / (2 * curvature), -double(h), double(h));
  return static_cast<double>(centre - 2 * h + lowest) + offset;
}

// The period averaged over as many cycles as the buffer holds: the dip near
// k whole periods is found for k = 2, 4, 8, ..., each guess from the last, so
// the error of one dip is divided by k.
double AveragedPeriod(const std::vector<double>& x, std::size_t begin, std::size_t count,
                      double period) {
  const double longest = static_cast<double>(count) / 2;
  double cycles = 1;
  for (;;) {
    const double most = std::floor((longest - period / 5) / period);
    if (most <= cycles) break;
    cycles = std::min(cycles * 2, most);
    period = DipNear(x.data() + begin, count, cycles * period, period) / cycles;
  }
  return period;
}

PitchReading Fault(PitchFault fault, std::string reason) {
  PitchReading reading;
  reading.fault = fault;
  reading.reason = std::move(reason);
  return reading;
}

}  // namespace

double Cents(double hz, double reference_hz) { return 1200.0 * std::log2(hz / reference_hz); }

PitchReading MeasurePitch(const float* samples, std::size_t count, double sample_rate,
                          PitchRange range) {
  if (!(range.min_hz > 0 && range.min_hz < range.max_hz && sample_rate / range.max_hz >= 4))
    throw std::invalid_argument("pitch: the range must lie below a quarter of the sample rate");
  const auto min_lag = static_cast<std::size_t>(std::max(2.0, std::floor(sample_rate / range.max_hz) - 1));
  const auto max_lag = static_cast<std::size_t>(std::ceil(sample_rate / range.min_hz)) + 2;
  if (count < 3 * max_lag)
    throw std::invalid_argument("pitch: " + std::to_string(count) +
                                " samples are fewer than three periods of the lowest note");

  double mean = 0;
  std::size_t at_full_scale = 0;
  for (std::size_t i = 0; i < count; ++i) {
    mean += samples[i];
    if (std::fabs(samples[i]) >= kFullScale) ++at_full_scale;
  }
  mean /= static_cast<double>(count);
  std::vector<double> x(count);
  double power = 0;
  for (std::size_t i = 0; i < count; ++i) {
    x[i] = samples[i] - mean;
    power += x[i] * x[i];
  }
  if (std::sqrt(power / static_cast<double>(count)) < kSilenceRms)
    return Fault(PitchFault::NoSignal, "no signal: is the oscillator patched to the audio input?");
  if (at_full_scale * 1000 > count)
    return Fault(PitchFault::Clipping, "the input is clipping: turn the level down");

  const Coarse coarse = CoarsePeriod(x, min_lag, max_lag);
  if (coarse.dip > kWorstDip)
    return Fault(PitchFault::Unstable, "no steady pitch on the input");

  const double period = AveragedPeriod(x, 0, count, coarse.period);
  const std::size_t half = count / 2;
  if (static_cast<double>(half) >= 4 * period) {
    const double first = AveragedPeriod(x, 0, half, period);
    const double second = AveragedPeriod(x, half, count - half, period);
    if (std::fabs(Cents(first, second)) > kUnstableCents)
      return Fault(PitchFault::Unstable, "the pitch is not steady");
  }

  PitchReading reading;
  reading.hz = sample_rate / period;
  reading.confidence = std::clamp(1.0 - coarse.dip, 0.0, 1.0);
  if (reading.hz < range.min_hz * 0.97 || reading.hz > range.max_hz * 1.03)
    return Fault(PitchFault::Unstable, "no steady pitch on the input");
  return reading;
}

}  // namespace tune
