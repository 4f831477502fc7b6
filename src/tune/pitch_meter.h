#pragma once

#include <cstddef>
#include <string>

namespace tune {

// Why a reading has no frequency.
enum class PitchFault { None, NoSignal, Clipping, Unstable };

struct PitchReading {
  double hz = 0;           // 0 when fault != None
  double confidence = 0;   // 0..1: how periodic the signal is at that frequency
  PitchFault fault = PitchFault::None;
  std::string reason;      // for the user, empty when fault == None
};

struct PitchRange {
  double min_hz = 20;
  double max_hz = 4000;
};

// The pitch of a steady oscillator tone: a YIN difference function finds the
// period (its first deep dip, so a strong second harmonic is not taken for the
// fundamental, nor a period of two cycles for one), then the dip nearest the
// last whole cycle in the buffer gives the period averaged over every cycle.
// Needs three periods of the lowest frequency in the range; ten periods of the
// tone give half a cent or better, with hiss and DC offset.
PitchReading MeasurePitch(const float* samples, std::size_t count, double sample_rate,
                          PitchRange range = {});

// Cents from reference_hz to hz.
double Cents(double hz, double reference_hz);

}  // namespace tune
