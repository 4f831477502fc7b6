#include "support/jack_peer.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <algorithm>
#include <thread>

namespace testing_support {
namespace {

// The backend and the peer, two clients of one process, meet in JACK's shared
// port buffers in an order the server's graph sets, which ThreadSanitizer
// cannot see. The peer's side of those copies is kept out of its view, so that
// it reports only races of the backend's own.
__attribute__((no_sanitize("thread"))) void CopyUnwatched(volatile uint8_t* to,
                                                          const volatile uint8_t* from,
                                                          size_t count) {
  for (size_t i = 0; i < count; ++i) to[i] = from[i];
}

}  // namespace

JackPeer::JackPeer(const std::string& name, Kind kind, const std::string& capture) {
  jack_status_t status{};
  client_ = jack_client_open(name.c_str(), JackNoStartServer, &status);
  if (!client_) {
    why_ = "cannot open the peer client (status " + std::to_string(status) + ")";
    return;
  }
  // A dummy server has no MIDI hardware: an interface's ports are flagged as
  // a hardware driver's (or PipeWire's bridge) flags them.
  const unsigned long hardware =
      kind == Kind::kInterface ? JackPortIsPhysical | JackPortIsTerminal : 0;
  hardware_ = hardware;
  capture_ = jack_port_register(client_, capture.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                JackPortIsInput | hardware, 0);
  playback_ = jack_port_register(client_, "playback", JACK_DEFAULT_MIDI_TYPE,
                                 JackPortIsOutput | hardware, 0);
  if (!capture_ || !playback_) {
    why_ = "cannot register the peer's ports";
    return;
  }
  jack_set_process_callback(client_, &JackPeer::Process, this);
  if (jack_activate(client_) != 0) why_ = "cannot activate the peer client";
}

JackPeer::~JackPeer() { Close(); }

void JackPeer::Close() {
  if (!client_) return;
  jack_deactivate(client_);
  jack_client_close(client_);
  client_ = nullptr;
}

std::string JackPeer::CaptureName() const { return jack_port_name(capture_); }
std::string JackPeer::PlaybackName() const { return jack_port_name(playback_); }

bool JackPeer::RenameCapture(const std::string& short_name) {
  return jack_port_rename(client_, capture_, short_name.c_str()) == 0;
}

bool JackPeer::AliasCapture(const std::string& alias) {
  return jack_port_set_alias(capture_, alias.c_str()) == 0;
}

bool JackPeer::AddSecond(const std::string& short_name) {
  jack_port_t* port = jack_port_register(client_, short_name.c_str(), JACK_DEFAULT_MIDI_TYPE,
                                         JackPortIsInput | hardware_, 0);
  second_.store(port);
  return port != nullptr;
}

void JackPeer::RemoveSecond() {
  jack_port_t* port = second_.exchange(nullptr);
  if (!port) return;
  WaitCycles(2);  // the process callback is done with it
  jack_port_unregister(client_, port);
}

std::string JackPeer::SecondName() const {
  jack_port_t* port = second_.load();
  return port ? jack_port_name(port) : "";
}

bool JackPeer::WaitCycles(uint64_t count, std::chrono::milliseconds limit) {
  const uint64_t target = cycles_.load() + count;
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (cycles_.load() < target) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

int JackPeer::Process(uint32_t frames, void* self) {
  auto& peer = *static_cast<JackPeer*>(self);
  void* in = jack_port_get_buffer(peer.capture_, frames);
  const uint32_t count = jack_midi_get_event_count(in);
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, in, i) != 0) continue;
    const auto size = static_cast<uint16_t>(std::min(event.size, peer.scratch_.size()));
    const jack_nframes_t frame = jack_last_frame_time(peer.client_) + event.time;
    const Stamp stamp{frame, size};
    CopyUnwatched(peer.scratch_.data(), event.buffer, size);
    peer.captured_.Write(&stamp, sizeof stamp, peer.scratch_.data(), size);
  }
  if (jack_port_t* second = peer.second_.load()) {
    peer.second_events_.fetch_add(jack_midi_get_event_count(jack_port_get_buffer(second, frames)));
  }
  void* out = jack_port_get_buffer(peer.playback_, frames);
  jack_midi_clear_buffer(out);
  uint16_t size;
  while (peer.outgoing_.Peek(&size, sizeof size)) {
    jack_midi_data_t* data = jack_midi_event_reserve(out, 0, size);
    if (!data) break;
    peer.outgoing_.Skip(sizeof size);
    peer.outgoing_.Read(peer.scratch_.data(), size);
    CopyUnwatched(data, peer.scratch_.data(), size);
    peer.sent_.fetch_add(1, std::memory_order_release);
  }
  peer.cycles_.fetch_add(1);
  return 0;
}

std::optional<std::vector<uint8_t>> JackPeer::NextCaptured(std::chrono::milliseconds limit) {
  std::optional<Captured> next = NextCapturedAt(limit);
  if (!next) return std::nullopt;
  return std::move(next->bytes);
}

std::optional<JackPeer::Captured> JackPeer::NextCapturedAt(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  Stamp stamp;
  while (!captured_.Peek(&stamp, sizeof stamp)) {
    if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  Captured event{stamp.frame, std::vector<uint8_t>(stamp.size)};
  captured_.Skip(sizeof stamp);
  captured_.Read(event.bytes.data(), stamp.size);
  return event;
}

uint32_t JackPeer::SampleRate() const { return jack_get_sample_rate(client_); }

bool JackPeer::Send(const std::vector<uint8_t>& event) {
  const auto size = static_cast<uint16_t>(event.size());
  if (!outgoing_.Write(&size, sizeof size, event.data(), event.size())) return false;
  queued_.fetch_add(1);
  return true;
}

bool JackPeer::WaitSent(std::chrono::milliseconds limit) {
  const auto deadline = std::chrono::steady_clock::now() + limit;
  while (sent_.load(std::memory_order_acquire) < queued_.load()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

}  // namespace testing_support
