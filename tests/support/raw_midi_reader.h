#pragma once

#include <alsa/asoundlib.h>
#include <poll.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/test_support.h"

namespace testing_support {

// What comes out of a rawmidi device, cut into messages, each stamped with the
// moment the kernel took in its first byte (the rawmidi framing mode's monotonic
// time stamps): the wire as near as this machine has one.
class RawMidiReader {
 public:
  struct Message {
    std::string hex;
    std::chrono::nanoseconds at;  // CLOCK_MONOTONIC
  };

  explicit RawMidiReader(const char* name) {
    if (snd_rawmidi_open(&in_, nullptr, name, SND_RAWMIDI_NONBLOCK) < 0) {
      in_ = nullptr;
      return;
    }
    snd_rawmidi_params_t* params;
    snd_rawmidi_params_alloca(&params);
    if (snd_rawmidi_params_current(in_, params) < 0 ||
        snd_rawmidi_params_set_read_mode(in_, params, SND_RAWMIDI_READ_TSTAMP) < 0 ||
        snd_rawmidi_params_set_clock_type(in_, params, SND_RAWMIDI_CLOCK_MONOTONIC) < 0 ||
        snd_rawmidi_params(in_, params) < 0) {
      snd_rawmidi_close(in_);
      in_ = nullptr;
      return;
    }
    thread_ = std::thread([this] { Read(); });
  }
  ~RawMidiReader() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    if (in_) snd_rawmidi_close(in_);
  }
  bool Ready() const { return in_ != nullptr; }

  std::vector<Message> Messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }
  // Waits until count messages have come, or the limit; then a little more, so
  // that one too many shows too.
  std::vector<Message> WaitFor(size_t count, std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Messages().size() < count && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    return Messages();
  }

 private:
  void Read() {
    std::vector<uint8_t> pending;
    std::chrono::nanoseconds started{};
    std::vector<pollfd> fds(std::max(snd_rawmidi_poll_descriptors_count(in_), 1));
    fds.resize(std::max(snd_rawmidi_poll_descriptors(in_, fds.data(), fds.size()), 0));
    while (!stop_) {
      poll(fds.data(), fds.size(), 10);
      // alsa-lib keeps frames it has read but not yet returned: read until
      // it has none, whatever poll says.
      uint8_t bytes[256];
      timespec stamp{};
      const ssize_t count = snd_rawmidi_tread(in_, &stamp, bytes, sizeof bytes);
      if (count <= 0) continue;
      const auto now = std::chrono::seconds(stamp.tv_sec) + std::chrono::nanoseconds(stamp.tv_nsec);
      for (ssize_t i = 0; i < count; ++i) {
        const uint8_t byte = bytes[i];
        if (byte >= 0xF8) {  // real time: a message of its own, anywhere
          Add({byte}, now);
          continue;
        }
        const bool ends_sysex = byte == 0xF7 && !pending.empty() && pending[0] == 0xF0;
        if ((byte & 0x80) && !ends_sysex) {
          pending.clear();
          started = now;
        }
        pending.push_back(byte);
        const bool whole = pending[0] == 0xF0 ? byte == 0xF7
                           : (pending[0] & 0xF0) == 0xC0 || (pending[0] & 0xF0) == 0xD0
                               ? pending.size() == 2
                               : pending.size() == 3;
        if (whole) {
          Add(pending, started);
          pending.clear();
        }
      }
    }
  }
  void Add(const std::vector<uint8_t>& bytes, std::chrono::nanoseconds at) {
    std::lock_guard lock(mutex_);
    messages_.push_back({Hex(bytes), at});
  }

  snd_rawmidi_t* in_ = nullptr;
  std::atomic<bool> stop_{false};
  std::mutex mutex_;
  std::vector<Message> messages_;
  std::thread thread_;
};

}  // namespace testing_support
