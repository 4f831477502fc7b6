#include "audio/alsa_audio_input.h"

#include <alsa/asoundlib.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "audio/capture_buffer.h"

namespace audio {
namespace {

constexpr unsigned kWantedRate = 48000;
constexpr double kBufferSeconds = 8;

std::string Failure(const char* what, int err) {
  return std::string("Cannot ") + what + " - " + snd_strerror(err);
}

class AlsaAudioInput : public AudioInput {
 public:
  AlsaAudioInput(snd_pcm_t* pcm, unsigned rate, unsigned channels, snd_pcm_uframes_t period, snd_pcm_format_t format)
      : pcm_(pcm), channels_(channels), period_(period), format_(format), buffer_(rate, kBufferSeconds) {
    thread_ = std::thread([this] { Capture(); });
  }
  ~AlsaAudioInput() override {
    stop_ = true;
    thread_.join();
    snd_pcm_close(pcm_);
  }
  double SampleRate() const override { return buffer_.SampleRate(); }
  std::vector<float> Record(double seconds) override { return buffer_.Record(seconds); }
  float Level() const override { return buffer_.Level(); }

 private:
  void Capture() {
    std::vector<float> frames(period_ * channels_);
    std::vector<std::int32_t> integers(period_ * channels_);
    const bool is_float = format_ == SND_PCM_FORMAT_FLOAT_LE;
    const bool is_short = format_ == SND_PCM_FORMAT_S16_LE;
    auto* shorts = reinterpret_cast<std::int16_t*>(integers.data());
    int stalls = 0;
    while (!stop_) {
      void* into = is_float ? static_cast<void*>(frames.data()) : static_cast<void*>(integers.data());
      snd_pcm_sframes_t got = snd_pcm_readi(pcm_, into, period_);
      if (got == -EPIPE || got == -ESTRPIPE || got == -EINTR) {
        // An overrun (a busy machine) loses a period, not the input.
        buffer_.MarkGap();
        if (snd_pcm_recover(pcm_, static_cast<int>(got), 1) == 0) continue;
      }
      if (got == -EIO && ++stalls <= 3) {
        // No data for the PCM's time-out: a loopback card whose playing side
        // underran, a stalled USB transfer. Started again, it delivers.
        buffer_.MarkGap();
        snd_pcm_drop(pcm_);
        if (snd_pcm_prepare(pcm_) == 0 && snd_pcm_start(pcm_) == 0) continue;
      }
      if (got < 0) {
        buffer_.Fail("the audio input failed: " + std::string(snd_strerror(static_cast<int>(got))));
        return;
      }
      for (std::size_t i = 0; !is_float && i < static_cast<std::size_t>(got) * channels_; ++i)
        frames[i] = is_short ? static_cast<float>(shorts[i] / 32768.0) : static_cast<float>(integers[i] / 2147483648.0);
      buffer_.Push(frames.data(), static_cast<std::size_t>(got), channels_);
      stalls = 0;
    }
  }

  snd_pcm_t* pcm_;
  unsigned channels_;
  snd_pcm_uframes_t period_;
  snd_pcm_format_t format_;
  CaptureBuffer buffer_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<AudioInput> OpenAlsaAudioInput(const std::string& name, std::string& why) {
  snd_pcm_t* pcm = nullptr;
  int err = snd_pcm_open(&pcm, name.c_str(), SND_PCM_STREAM_CAPTURE, 0);
  if (err < 0) {
    why = Failure(("open audio input " + name).c_str(), err);
    return nullptr;
  }
  snd_pcm_hw_params_t* hw = nullptr;
  snd_pcm_hw_params_alloca(&hw);
  unsigned rate = kWantedRate, channels = 1;
  snd_pcm_uframes_t period = kWantedRate / 100;
  snd_pcm_format_t format = SND_PCM_FORMAT_FLOAT_LE;
  const char* step = "read the audio input's settings";
  if ((err = snd_pcm_hw_params_any(pcm, hw)) >= 0) {
    step = "set interleaved access";
    err = snd_pcm_hw_params_set_access(pcm, hw, SND_PCM_ACCESS_RW_INTERLEAVED);
  }
  if (err >= 0) {
    // A card's own device may not do floats, and a loopback card takes the
    // format its other side was opened with: integers serve as well.
    step = "set a sample format";
    for (snd_pcm_format_t wanted : {SND_PCM_FORMAT_FLOAT_LE, SND_PCM_FORMAT_S32_LE, SND_PCM_FORMAT_S16_LE}) {
      format = wanted;
      if ((err = snd_pcm_hw_params_set_format(pcm, hw, wanted)) >= 0) break;
    }
  }
  if (err >= 0) {
    step = "set the channels";
    err = snd_pcm_hw_params_set_channels_near(pcm, hw, &channels);
  }
  if (err >= 0) {
    step = "set the sample rate";
    err = snd_pcm_hw_params_set_rate_near(pcm, hw, &rate, nullptr);
  }
  if (err >= 0) {
    step = "set the period";
    int dir = 0;
    err = snd_pcm_hw_params_set_period_size_near(pcm, hw, &period, &dir);
  }
  if (err >= 0) {
    step = "set the buffer";
    snd_pcm_uframes_t frames = period * 8;
    err = snd_pcm_hw_params_set_buffer_size_near(pcm, hw, &frames);
  }
  if (err >= 0) {
    step = "apply the audio settings";
    err = snd_pcm_hw_params(pcm, hw);
  }
  if (err >= 0) {
    step = "start the audio input";
    err = snd_pcm_start(pcm);
  }
  if (err < 0) {
    why = Failure(step, err) + " (" + name + ")";
    snd_pcm_close(pcm);
    return nullptr;
  }
  return std::make_unique<AlsaAudioInput>(pcm, rate, channels, period, format);
}

void AddAlsaCaptureDevices(std::vector<AudioDevice>& devices) {
  void** hints = nullptr;
  if (snd_device_name_hint(-1, "pcm", &hints) < 0) return;
  for (void** hint = hints; *hint; ++hint) {
    char* name = snd_device_name_get_hint(*hint, "NAME");
    char* desc = snd_device_name_get_hint(*hint, "DESC");
    char* ioid = snd_device_name_get_hint(*hint, "IOID");
    const bool capture = !ioid || std::strcmp(ioid, "Input") == 0;
    if (name && capture && std::strcmp(name, "null") != 0 && std::strcmp(name, "default") != 0) {
      std::string text = desc ? desc : name;
      for (char& c : text)
        if (c == '\n') c = ' ';
      devices.push_back({name, text});
    }
    free(name);
    free(desc);
    free(ioid);
  }
  snd_device_name_free_hint(hints);
}

}  // namespace audio
