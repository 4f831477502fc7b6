#include "audio/wave_in_audio_input.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#include <windows.h>
#include <mmsystem.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

#include "audio/capture_buffer.h"

namespace audio {
namespace {

constexpr DWORD kRate = 48000;
constexpr double kBufferSeconds = 8;
constexpr DWORD kFramesPerBuffer = kRate / 100;  // 10 ms, as on ALSA
constexpr std::size_t kBuffers = 8;

std::string Utf8(const wchar_t* text) {
  const int size = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (size <= 1) return {};
  std::string out(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), size, nullptr, nullptr);
  out.resize(static_cast<std::size_t>(size - 1));
  return out;
}

std::string Failure(const char* what, MMRESULT result) {
  wchar_t text[MAXERRORLENGTH] = {};
  waveInGetErrorTextW(result, text, MAXERRORLENGTH);
  return std::string("Cannot ") + what + " - " + Utf8(text);
}

// Each device's name, by device number (empty where it cannot be read). Two cards
// of one kind have one name (a loopback card's two capture sides do under Wine):
// the second is "NAME #2", so that each can be chosen.
std::vector<std::string> DeviceNames() {
  std::vector<std::string> names;
  for (UINT device = 0, count = waveInGetNumDevs(); device < count; ++device) {
    WAVEINCAPSW caps{};
    std::string name = waveInGetDevCapsW(device, &caps, sizeof caps) == 0 ? Utf8(caps.szPname) : "";
    if (!name.empty()) {
      const auto same = std::count_if(names.begin(), names.end(), [&](const std::string& other) {
        return other == name || other.starts_with(name + " #");
      });
      if (same > 0) name += " #" + std::to_string(same + 1);
    }
    names.push_back(std::move(name));
  }
  return names;
}

class WaveInAudioInput : public AudioInput {
 public:
  WaveInAudioInput() : buffer_(kRate, kBufferSeconds) {}
  ~WaveInAudioInput() override {
    if (thread_.joinable()) {
      stop_ = true;
      SetEvent(event_);
      thread_.join();
    }
    if (wave_) {
      waveInReset(wave_);  // hands every buffer back
      for (Block& block : blocks_) waveInUnprepareHeader(wave_, &block.header, sizeof(WAVEHDR));
      waveInClose(wave_);
    }
    if (event_) CloseHandle(event_);
  }

  bool Open(UINT device, std::string& why) {
    event_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    WAVEFORMATEX format{};
    format.wFormatTag = WAVE_FORMAT_PCM;
    format.nChannels = 1;
    format.nSamplesPerSec = kRate;
    format.wBitsPerSample = 16;
    format.nBlockAlign = 2;
    format.nAvgBytesPerSec = kRate * 2;
    MMRESULT result = waveInOpen(&wave_, device, &format, reinterpret_cast<DWORD_PTR>(event_), 0,
                                 CALLBACK_EVENT);
    if (result != MMSYSERR_NOERROR) {
      wave_ = nullptr;
      why = Failure("open the audio input", result);
      return false;
    }
    for (Block& block : blocks_) {
      block.header.lpData = reinterpret_cast<LPSTR>(block.samples.data());
      block.header.dwBufferLength = sizeof(block.samples);
      if ((result = waveInPrepareHeader(wave_, &block.header, sizeof(WAVEHDR))) != 0 ||
          (result = waveInAddBuffer(wave_, &block.header, sizeof(WAVEHDR))) != 0) {
        why = Failure("queue audio buffers", result);
        return false;
      }
    }
    if ((result = waveInStart(wave_)) != MMSYSERR_NOERROR) {
      why = Failure("start the audio input", result);
      return false;
    }
    thread_ = std::thread([this] { Capture(); });
    return true;
  }

  double SampleRate() const override { return buffer_.SampleRate(); }
  std::vector<float> Record(double seconds) override { return buffer_.Record(seconds); }
  float Level() const override { return buffer_.Level(); }

 private:
  struct Block {
    WAVEHDR header{};
    std::array<std::int16_t, kFramesPerBuffer> samples{};
  };

  // Buffers come back in the order they were added.
  void Capture() {
    std::array<float, kFramesPerBuffer> frames{};
    std::size_t next = 0;
    while (!stop_) {
      WaitForSingleObject(event_, 100);
      std::size_t done = 0;
      while (!stop_ && (blocks_[next].header.dwFlags & WHDR_DONE)) {
        WAVEHDR& header = blocks_[next].header;
        const std::size_t count = header.dwBytesRecorded / sizeof(std::int16_t);
        for (std::size_t i = 0; i < count; ++i) frames[i] = blocks_[next].samples[i] / 32768.0f;
        buffer_.Push(frames.data(), count);
        // Every buffer was full before this one went back: samples were lost.
        if (++done == kBuffers) buffer_.MarkGap();
        header.dwFlags &= ~WHDR_DONE;
        const MMRESULT result = waveInAddBuffer(wave_, &header, sizeof(WAVEHDR));
        if (result != MMSYSERR_NOERROR) {
          buffer_.Fail(Failure("read the audio input", result));
          return;
        }
        next = (next + 1) % kBuffers;
      }
    }
  }

  HWAVEIN wave_ = nullptr;
  HANDLE event_ = nullptr;
  std::array<Block, kBuffers> blocks_{};
  CaptureBuffer buffer_;
  std::atomic<bool> stop_{false};
  std::thread thread_;
};

}  // namespace

std::unique_ptr<AudioInput> OpenWaveInAudioInput(const std::string& name, std::string& why) {
  UINT device = WAVE_MAPPER;
  if (name != "default") {
    const std::vector<std::string> names = DeviceNames();
    const auto found = std::find(names.begin(), names.end(), name);
    if (found == names.end()) {
      why = "no audio input \"" + name + "\"";
      return nullptr;
    }
    device = static_cast<UINT>(found - names.begin());
  }
  auto input = std::make_unique<WaveInAudioInput>();
  if (!input->Open(device, why)) return nullptr;
  return input;
}

void AddWaveInCaptureDevices(std::vector<AudioDevice>& devices) {
  for (const std::string& name : DeviceNames())
    if (!name.empty()) devices.push_back({name, name});
}

}  // namespace audio
