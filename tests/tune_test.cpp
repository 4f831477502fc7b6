// Pitch measurement on synthesised tones, and the search for the table entries.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "protocol/parameter_map.h"
#include "tune/pitch_meter.h"
#include "tune/tuning_run.h"
#include "tune/tuning_search.h"
#include "support/simulated_rig.h"

namespace {

using namespace tune;
using namespace testing_support;

PitchReading Measure(const std::vector<float>& samples, double rate) {
  return MeasurePitch(samples.data(), samples.size(), rate);
}

TEST(PitchMeter, MeasuresOscillatorTonesWithinHalfACentWithNoiseAndDcOffset) {
  for (Wave wave : {Wave::Sine, Wave::Saw, Wave::Square, Wave::StrongSecondHarmonic})
    for (double rate : {44100.0, 48000.0})
      for (double hz : {20.0, 27.5, 61.7, 110.0, 261.63, 440.0, 1046.5, 2500.0, 4000.0}) {
        SCOPED_TRACE(testing::Message() << "wave " << static_cast<int>(wave) << ", " << hz
                                        << " Hz at " << rate);
        // Ten periods at least, as the tuning run records.
        const PitchReading reading = Measure(Tone(wave, hz, rate, std::max(0.25, 10 / hz)), rate);
        ASSERT_EQ(reading.fault, PitchFault::None) << reading.reason;
        EXPECT_LT(std::fabs(Cents(reading.hz, hz)), 0.5) << reading.hz;
        EXPECT_GT(reading.confidence, 0.8);
      }
}

TEST(PitchMeter, SaysWhyItHasNoReading) {
  const double rate = 48000;
  const PitchReading silence = Measure(Tone(Wave::Saw, 220, rate, 0.25, 0.0002, 0.0002), rate);
  EXPECT_EQ(silence.fault, PitchFault::NoSignal);
  EXPECT_EQ(silence.reason, "no signal: is the oscillator patched to the audio input?");
  EXPECT_EQ(silence.hz, 0);

  const PitchReading clipped = Measure(Tone(Wave::Sine, 220, rate, 0.25, 1.0, 0, 0.2), rate);
  EXPECT_EQ(clipped.fault, PitchFault::Clipping);
  EXPECT_EQ(clipped.reason, "the input is clipping: turn the level down");

  const PitchReading hiss = Measure(Tone(Wave::Sine, 220, rate, 0.25, 0, 0.15, 0), rate);
  EXPECT_EQ(hiss.fault, PitchFault::Unstable);
  EXPECT_EQ(hiss.reason, "no steady pitch on the input");

  // A note still gliding to its pitch (a portamento of 40 cents).
  std::vector<float> glide(12000);
  double phase = 0;
  for (std::size_t i = 0; i < glide.size(); ++i) {
    glide[i] = static_cast<float>(0.5 * std::sin(2 * std::numbers::pi * phase));
    phase += 220 * std::exp2(0.4 / 12 * static_cast<double>(i) / glide.size()) / rate;
  }
  const PitchReading gliding = Measure(glide, rate);
  EXPECT_EQ(gliding.fault, PitchFault::Unstable);
  EXPECT_EQ(gliding.reason, "the pitch is not steady");
}

TuningSetup SetupFor(const SimulatedRig& rig) {
  TuningSetup setup;
  setup.channel = 5;
  setup.base_note = 36;
  setup.cfg0 = static_cast<std::uint8_t>(rig.model.Field(param::CFG0));
  setup.cfg2 = static_cast<std::uint8_t>(rig.model.Field(param::CFG2));
  setup.saved_channel = rig.model.Field(param::CAN) + 1;
  setup.saved_base_note = rig.model.Field(param::NREF);
  setup.table = rig.model.Table();
  return setup;
}

void ExpectLeftAsItWas(const SimulatedRig& rig, const TuningSetup& setup) {
  EXPECT_EQ(rig.model.Table(), setup.table);
  EXPECT_EQ(rig.model.Field(param::CAN), 2);
  EXPECT_EQ(rig.model.Field(param::NREF), 24);
  EXPECT_EQ(rig.model.Field(param::CFG0), 0x80);
  EXPECT_EQ(rig.model.Field(param::CFG2), 0x02);
  for (const ParameterMessage& m : rig.messages) {
    EXPECT_EQ(m[3], 0x00) << "device ID 1";
    EXPECT_NE(m[4], param::COMMAND) << "nothing is written to flash";
  }
}

TEST(TuningRun, TunesEveryNoteToHalfAStepPlusTwoCentsAndLeavesTheInterfaceAsItWas) {
  SimulatedRig rig;
  const TuningSetup setup = SetupFor(rig);
  int steps = 0;
  const TuningResult result = RunTuning(rig, setup, [&](const TuningStatus&) {
    ++steps;
    return true;
  });
  ASSERT_TRUE(result.ok) << result.reason;
  ASSERT_EQ(result.notes.size(), 48u);
  for (int i = 0; i < kTableSize; ++i) {
    SCOPED_TRACE(i);
    const int dac = result.table[static_cast<std::size_t>(i)];
    const double target = 440 * std::exp2((36 + i - 69) / 12.0);
    EXPECT_NEAR(result.notes[static_cast<std::size_t>(i)].target_hz, target, 1e-9);
    EXPECT_EQ(result.notes[static_cast<std::size_t>(i)].dac, dac);
    EXPECT_LE(std::fabs(Cents(OscillatorHz(dac), target)), Cents(OscillatorHz(dac + 1), OscillatorHz(dac)) / 2 + 2);
  }
  EXPECT_EQ(steps, 1 + 3 * 48 + 3 * 48);
  ExpectLeftAsItWas(rig, setup);
}

TEST(TuningRun, EndsWithItsReasonAndRestoresTheInterface) {
  struct Case {
    SimulatedRig::Fault fault;
    std::string reason;
  };
  for (const Case& c : {Case{SimulatedRig::Fault::Unpatched, "no signal: is the oscillator patched to the audio input?"},
                        Case{SimulatedRig::Fault::PitchIgnoresNotes,
                             "the pitch does not follow the notes: check the MIDI channel and the CV 1 patch"}}) {
    SimulatedRig rig(c.fault);
    const TuningSetup setup = SetupFor(rig);
    const TuningResult result = RunTuning(rig, setup);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, c.reason);
    ExpectLeftAsItWas(rig, setup);
  }
  SimulatedRig cancelled;
  const TuningSetup setup = SetupFor(cancelled);
  const TuningResult stopped = RunTuning(cancelled, setup, [](const TuningStatus& status) {
    return status.phase != "Verifying";
  });
  EXPECT_EQ(stopped.reason, "cancelled");
  ExpectLeftAsItWas(cancelled, setup);

  SimulatedRig unplugged(SimulatedRig::Fault::UnpluggedAfter80);
  const TuningResult gone = RunTuning(unplugged, SetupFor(unplugged));
  EXPECT_FALSE(gone.ok);
  EXPECT_EQ(gone.reason, "the MIDI output was unplugged");
  EXPECT_EQ(unplugged.messages.size(), 80u);
}

}  // namespace
