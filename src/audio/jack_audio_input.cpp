#include "audio/jack_audio_input.h"

#include <jack/jack.h>

#include "audio/capture_buffer.h"
#include "midi/platform/quiet_libraries.h"

namespace audio {
namespace {

constexpr const char* kClientName = "TQX512 Tune";
constexpr double kBufferSeconds = 8;

class JackAudioInput : public AudioInput {
 public:
  JackAudioInput(jack_client_t* client, jack_port_t* port)
      : client_(client), port_(port), buffer_(jack_get_sample_rate(client), kBufferSeconds) {}
  ~JackAudioInput() override { jack_client_close(client_); }

  bool Start(const std::string& source, std::string& why) {
    jack_set_process_callback(client_, &JackAudioInput::Process, this);
    jack_on_shutdown(client_, &JackAudioInput::Shutdown, this);
    jack_set_xrun_callback(client_, &JackAudioInput::Xrun, this);
    if (jack_activate(client_) != 0) {
      why = "Cannot activate the JACK audio input";
      return false;
    }
    if (jack_connect(client_, source.c_str(), jack_port_name(port_)) != 0) {
      why = "Cannot connect the JACK audio input to " + source;
      return false;
    }
    return true;
  }
  double SampleRate() const override { return buffer_.SampleRate(); }
  std::vector<float> Record(double seconds) override { return buffer_.Record(seconds); }
  float Level() const override { return buffer_.Level(); }

 private:
  static int Process(jack_nframes_t frames, void* arg) {
    auto* self = static_cast<JackAudioInput*>(arg);
    const auto* samples = static_cast<const float*>(jack_port_get_buffer(self->port_, frames));
    self->buffer_.Push(samples, frames);
    return 0;
  }
  static int Xrun(void* arg) {
    static_cast<JackAudioInput*>(arg)->buffer_.MarkGap();
    return 0;
  }
  static void Shutdown(void* arg) { static_cast<JackAudioInput*>(arg)->buffer_.Fail("the JACK server stopped"); }

  jack_client_t* client_;
  jack_port_t* port_;
  CaptureBuffer buffer_;
};

jack_client_t* OpenClient() {
  const QuietLibraries quiet;
  jack_status_t status{};
  return jack_client_open(kClientName, JackNoStartServer, &status);
}

}  // namespace

std::unique_ptr<AudioInput> OpenJackAudioInput(const std::string& port, std::string& why) {
  jack_client_t* client = OpenClient();
  if (!client) {
    why = "Cannot open the JACK audio input - no JACK server is running";
    return nullptr;
  }
  jack_port_t* input = jack_port_register(client, "audio_in", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
  if (!input) {
    why = "Cannot register the JACK audio input port";
    jack_client_close(client);
    return nullptr;
  }
  auto audio = std::make_unique<JackAudioInput>(client, input);
  if (!audio->Start(port, why)) return nullptr;
  return audio;
}

void AddJackCaptureDevices(std::vector<AudioDevice>& devices) {
  jack_client_t* client = OpenClient();
  if (!client) return;
  if (const char** ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsOutput)) {
    for (const char** port = ports; *port; ++port) devices.push_back({std::string("jack:") + *port, *port});
    jack_free(ports);
  }
  jack_client_close(client);
}

}  // namespace audio
