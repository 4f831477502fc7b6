#pragma once

#include <memory>
#include <string>
#include <vector>

// Audio input through the platform's own audio service, beside the MIDI one:
// waveIn on Windows; elsewhere ALSA PCM capture (the "default" device, which
// PipeWire and PulseAudio serve on desktops, or any capture device by name) and
// JACK audio ports, named "jack:<client>:<port>".
namespace audio {

struct AudioDevice {
  std::string name;         // what OpenAudioInput takes
  std::string description;  // for a list, may equal name
};

// Once open, an input records all the time into a buffer of a few seconds.
class AudioInput {
 public:
  virtual ~AudioInput() = default;
  virtual double SampleRate() const = 0;
  // The next `seconds` of audio from now, mono (the first channel). Throws
  // std::runtime_error when the device fails or stops delivering.
  virtual std::vector<float> Record(double seconds) = 0;
  // Peak of the last 50 ms, 0..1; does not wait.
  virtual float Level() const = 0;
};

// Capture devices of the running services, "default" first.
std::vector<AudioDevice> ListAudioInputs();
// Null when the device cannot be opened; why then says what failed.
std::unique_ptr<AudioInput> OpenAudioInput(const std::string& name, std::string& why);

}  // namespace audio
