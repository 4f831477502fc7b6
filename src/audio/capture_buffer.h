#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

namespace audio {

// The last seconds of an input, written by one capture thread (or JACK's
// process callback, which must not wait on a lock) and read by one reader.
class CaptureBuffer {
 public:
  CaptureBuffer(double sample_rate, double seconds);
  // The first channel of `frames` interleaved frames.
  void Push(const float* samples, std::size_t frames, std::size_t channels = 1);
  // Samples were lost here (an overrun, an xrun): a recording across it is made again.
  void MarkGap() { gaps_.fetch_add(1, std::memory_order_release); }
  // Stops every Record with this text; the capture thread calls it when the device fails.
  void Fail(const std::string& why);
  // Waits for the next `seconds` of samples without a gap; throws
  // std::runtime_error when the input failed or delivered nothing for a second
  // past the time needed, or had a gap in three recordings running.
  std::vector<float> Record(double seconds) const;
  float Level() const;
  double SampleRate() const { return rate_; }

 private:
  std::vector<float> RecordOnce(double seconds) const;

  double rate_;
  std::vector<float> ring_;
  std::atomic<std::uint64_t> written_{0};
  std::atomic<bool> failed_{false};
  std::atomic<std::uint64_t> gaps_{0};
  std::string why_;
};

}  // namespace audio
