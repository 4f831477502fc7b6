#include "audio/audio_input.h"

#ifdef _WIN32
#include "audio/wave_in_audio_input.h"
#else
#include "audio/alsa_audio_input.h"
#include "audio/jack_audio_input.h"
#include "midi/platform/quiet_libraries.h"
#endif

namespace audio {

#ifdef _WIN32
std::vector<AudioDevice> ListAudioInputs() {
  std::vector<AudioDevice> devices{{"default", "default"}};
  AddWaveInCaptureDevices(devices);
  return devices;
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
  return devices;
}

std::unique_ptr<AudioInput> OpenAudioInput(const std::string& name, std::string& why) {
  if (name.starts_with(kJackPrefix)) return OpenJackAudioInput(name.substr(kJackPrefix.size()), why);
  return OpenAlsaAudioInput(name, why);
}
#endif

}  // namespace audio
