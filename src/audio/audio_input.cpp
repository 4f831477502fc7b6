#include "audio/audio_input.h"

#include <algorithm>
#include <utility>

#ifdef _WIN32
#include "audio/wave_in_audio_input.h"
#else
#include "audio/alsa_audio_input.h"
#include "audio/jack_audio_input.h"
#include "midi/platform/quiet_libraries.h"
#endif

namespace audio {

namespace {

// ALSA describes every device of a card alike (a loopback card's two capture
// sides both as "Loopback PCM"): those are told apart by their names.
std::vector<AudioDevice> Distinct(std::vector<AudioDevice> devices) {
  const std::vector<AudioDevice> listed = devices;
  for (AudioDevice& device : devices) {
    const auto alike = std::count_if(listed.begin(), listed.end(), [&](const AudioDevice& other) {
      return other.description == device.description;
    });
    if (alike > 1 && device.description != device.name) device.description += " (" + device.name + ")";
  }
  return devices;
}

}  // namespace

#ifdef _WIN32
std::vector<AudioDevice> ListAudioInputs() {
  std::vector<AudioDevice> devices{{"default", "default"}};
  AddWaveInCaptureDevices(devices);
  return Distinct(std::move(devices));
}

std::unique_ptr<AudioInput> OpenAudioInput(const std::string& name, std::string& why) {
  return OpenWaveInAudioInput(name, why);
}
#else
constexpr std::string_view kJackPrefix = "jack:";

std::vector<AudioDevice> ListAudioInputs() {
  const QuietLibraries quiet;
  std::vector<AudioDevice> devices{{"default", "default"}};
  AddAlsaCaptureDevices(devices);
  AddJackCaptureDevices(devices);
  return Distinct(std::move(devices));
}

std::unique_ptr<AudioInput> OpenAudioInput(const std::string& name, std::string& why) {
  if (name.starts_with(kJackPrefix)) return OpenJackAudioInput(name.substr(kJackPrefix.size()), why);
  return OpenAlsaAudioInput(name, why);
}
#endif

}  // namespace audio
