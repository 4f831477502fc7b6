#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "midi/platform/spsc_ring.h"

struct _jack_client;
struct _jack_port;

namespace testing_support {

// A JACK client of the test's own at the far end of the editor's ports: what the
// editor sends arrives at its "capture" port, what the editor receives leaves
// from its "playback" port. It talks to the default server (JackServer's).
class JackPeer {
 public:
  // An interface's ports are hardware ports; a program's are not.
  enum class Kind { kInterface, kProgram };
  explicit JackPeer(const std::string& name = "tqx-peer", Kind kind = Kind::kInterface,
                    const std::string& capture = "capture");
  ~JackPeer();
  JackPeer(const JackPeer&) = delete;
  JackPeer& operator=(const JackPeer&) = delete;

  bool Ready() const { return why_.empty(); }
  // The client ends, as an unplugged interface's does; what it captured stays readable.
  void Close();
  const std::string& Why() const { return why_; }
  // Full port names, as device lists show them ("tqx-peer:capture").
  std::string CaptureName() const;
  std::string PlaybackName() const;
  // What a bridge does to the capture port: a new name (as jack_port_rename,
  // the port stays the same), an alias beside it.
  bool RenameCapture(const std::string& short_name);
  bool AliasCapture(const std::string& alias);
  // A second input port of the same kind, as a bridge shows another unit;
  // only the events that reach it are counted.
  bool AddSecond(const std::string& short_name);
  void RemoveSecond();
  std::string SecondName() const;
  uint64_t SecondEvents() const { return second_events_.load(); }
  // Waits until the server has run count more process cycles; false at the limit.
  bool WaitCycles(uint64_t count, std::chrono::milliseconds limit = std::chrono::seconds(10));

  // The next event that reached the capture port, in arrival order; nullopt
  // when none comes within the limit.
  std::optional<std::vector<uint8_t>> NextCaptured(
      std::chrono::milliseconds limit = std::chrono::seconds(10));
  // The same, with the frame at which it reached the port.
  struct Captured {
    uint32_t frame;
    std::vector<uint8_t> bytes;
  };
  std::optional<Captured> NextCapturedAt(std::chrono::milliseconds limit = std::chrono::seconds(10));
  uint32_t SampleRate() const;
  // One event out of the playback port at the next cycle.
  bool Send(const std::vector<uint8_t>& event);
  // Waits until everything given to Send has left; false at the limit.
  bool WaitSent(std::chrono::milliseconds limit = std::chrono::seconds(10));

 private:
  static int Process(uint32_t frames, void* self);
  struct Stamp {
    uint32_t frame;
    uint16_t size;
    uint16_t unused = 0;
  };

  std::string why_;
  _jack_client* client_ = nullptr;
  _jack_port* capture_ = nullptr;
  _jack_port* playback_ = nullptr;
  unsigned long hardware_ = 0;
  std::atomic<_jack_port*> second_{nullptr};
  std::atomic<uint64_t> second_events_{0};
  SpscRing captured_{1 << 16};  // records: Stamp, bytes
  SpscRing outgoing_{1 << 16};
  std::vector<uint8_t> scratch_ = std::vector<uint8_t>(0xFFFF);  // process thread only
  std::atomic<uint64_t> queued_{0};
  std::atomic<uint64_t> sent_{0};
  std::atomic<uint64_t> cycles_{0};
};

}  // namespace testing_support
