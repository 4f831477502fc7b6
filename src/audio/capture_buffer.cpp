#include "audio/capture_buffer.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <stdexcept>
#include <thread>

namespace audio {

CaptureBuffer::CaptureBuffer(double sample_rate, double seconds)
    : rate_(sample_rate), ring_(static_cast<std::size_t>(sample_rate * seconds)) {}

void CaptureBuffer::Push(const float* samples, std::size_t frames, std::size_t channels) {
  std::uint64_t at = written_.load(std::memory_order_relaxed);
  for (std::size_t i = 0; i < frames; ++i) ring_[(at + i) % ring_.size()] = samples[i * channels];
  written_.store(at + frames, std::memory_order_release);
}

void CaptureBuffer::Fail(const std::string& why) {
  if (failed_.load()) return;
  why_ = why;
  failed_.store(true, std::memory_order_release);
}

std::vector<float> CaptureBuffer::Record(double seconds) const {
  for (int attempt = 1;; ++attempt) {
    const std::uint64_t gaps = gaps_.load(std::memory_order_acquire);
    std::vector<float> samples = RecordOnce(seconds);
    if (gaps_.load(std::memory_order_acquire) == gaps) return samples;
    if (attempt == 3) throw std::runtime_error("the audio input keeps losing samples (overruns)");
  }
}

std::vector<float> CaptureBuffer::RecordOnce(double seconds) const {
  const auto count = static_cast<std::uint64_t>(std::llround(seconds * rate_));
  if (count > ring_.size() / 2) throw std::invalid_argument("audio: recording longer than the buffer");
  const std::uint64_t start = written_.load(std::memory_order_acquire);
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::duration<double>(seconds + 1.0);
  // Audio arrives a period at a time; a few milliseconds between looks costs nothing.
  while (written_.load(std::memory_order_acquire) < start + count) {
    if (failed_.load(std::memory_order_acquire)) throw std::runtime_error(why_);
    if (Clock::now() > deadline) throw std::runtime_error("the audio input stopped delivering");
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  std::vector<float> out(count);
  for (std::uint64_t i = 0; i < count; ++i) out[i] = ring_[(start + i) % ring_.size()];
  return out;
}

float CaptureBuffer::Level() const {
  const std::uint64_t end = written_.load(std::memory_order_acquire);
  const auto span = std::min<std::uint64_t>(end, static_cast<std::uint64_t>(rate_ / 20));
  float peak = 0;
  for (std::uint64_t i = end - span; i < end; ++i) peak = std::max(peak, std::fabs(ring_[i % ring_.size()]));
  return std::min(peak, 1.0f);
}

}  // namespace audio
