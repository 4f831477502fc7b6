// waveIn on a real capture device: inside the test VM, Wine's waveIn records the
// loopback card's capture side, where tests/vm/windows-midi plays a 440 Hz tone,
// and the pitch comes out as it does on Linux. Not a ctest entry: it needs that
// tone.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "audio/audio_input.h"
#include "tune/pitch_meter.h"

namespace {

TEST(WaveIn, DefaultInputHearsTheLoopbackTone) {
  const std::vector<audio::AudioDevice> inputs = audio::ListAudioInputs();
  for (const audio::AudioDevice& device : inputs)
    std::printf("input \"%s\": %s\n", device.name.c_str(), device.description.c_str());
  ASSERT_FALSE(inputs.empty());
  EXPECT_EQ(inputs.front().name, "default");
  // Wine names both of the loopback card's capture sides alike: each can still be chosen.
  std::set<std::string> names;
  for (const audio::AudioDevice& device : inputs) names.insert(device.name);
  EXPECT_EQ(names.size(), inputs.size());

  std::string why;
  const std::unique_ptr<audio::AudioInput> input = audio::OpenAudioInput("default", why);
  ASSERT_TRUE(input) << why;
  EXPECT_EQ(input->SampleRate(), 48000);
  for (int take = 0; take < 3; ++take) {
    const std::vector<float> heard = input->Record(0.2);
    ASSERT_EQ(heard.size(), 9600u);
    const tune::PitchReading reading = tune::MeasurePitch(heard.data(), heard.size(), input->SampleRate());
    ASSERT_EQ(reading.fault, tune::PitchFault::None) << reading.reason;
    std::printf("heard %.4f Hz (%+.3f cents), level %.2f\n", reading.hz, tune::Cents(reading.hz, 440),
                input->Level());
    EXPECT_LT(std::fabs(tune::Cents(reading.hz, 440)), 0.5);
  }
}

TEST(WaveIn, TwoInputsOfOneNameAreTwoDevices) {
  // The tone reaches one capture side of the loopback card; the other is silent.
  int tone = 0, silent = 0;
  for (const audio::AudioDevice& device : audio::ListAudioInputs()) {
    if (!device.name.starts_with("In: Loopback")) continue;
    std::string why;
    const std::unique_ptr<audio::AudioInput> input = audio::OpenAudioInput(device.name, why);
    ASSERT_TRUE(input) << device.name << ": " << why;
    const std::vector<float> heard = input->Record(0.2);
    const tune::PitchReading reading = tune::MeasurePitch(heard.data(), heard.size(), input->SampleRate());
    std::printf("\"%s\": %s\n", device.name.c_str(),
                reading.fault == tune::PitchFault::None ? "the tone" : reading.reason.c_str());
    if (reading.fault == tune::PitchFault::None) ++tone;
    if (reading.fault == tune::PitchFault::NoSignal) ++silent;
  }
  EXPECT_EQ(tone, 1);
  EXPECT_EQ(silent, 1);
}

}  // namespace
