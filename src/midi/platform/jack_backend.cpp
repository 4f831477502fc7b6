#include "midi/platform/jack_backend.h"

#include <jack/jack.h>
#include <jack/midiport.h>
#include <jack/uuid.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "midi/platform/backend_support.h"
#include "midi/platform/midi_streams.h"
#include "midi/platform/spsc_ring.h"

namespace {

constexpr size_t kMaxOpen = 16;  // ports per direction open at once
constexpr size_t kRingBytes = size_t{1} << 16;
// SysEx goes out in events of at most this many bytes: a bigger one might not
// fit the MIDI buffer of a short JACK period at all.
constexpr size_t kMaxEvent = 256;
// How long opening and closing wait for the process callback, so that a
// stalled server cannot hang the editor.
constexpr auto kCycleLimit = std::chrono::seconds(2);

// What the process callback puts in an input ring before the event's bytes.
struct InRecord {
  uint32_t frame;
  uint16_t size;
  uint16_t unused;
};

// What the editor's threads put in an output ring before the event's bytes.
struct OutRecord {
  uint32_t frame;  // when it was sent, on JACK's frame clock
  uint16_t size;
  uint16_t unused;
};

// Where the process callback found our port's connection changed: the bytes
// it takes from offset on (counted as consumed counts them) reach the device
// or, while unheard, no one.
struct Stretch {
  uint64_t offset;
  uint8_t heard;
  uint8_t unused[7];
};

struct OutState {
  size_t slot = 0;
  jack_port_t* port = nullptr;
  MidiOutClient* client = nullptr;
  // The device's port; the name follows its renames, and finds it again after
  // it went and came back (a new port, so another uuid). Backend thread.
  std::string target;
  jack_uuid_t target_uuid = 0;
  std::atomic<bool> gone{false};  // its port vanished, or our connection was broken
  bool vanished = false;          // backend thread: the port itself went away
  // Backend thread: the ports that had the device's name but for a client
  // number when it went; other units, never taken for it.
  std::vector<std::string> bystanders;
  // Backend thread: JACK told of our connection to it being broken; until it
  // does, a connection missing from the graph may not be in it yet (jackd
  // switches graphs between cycles, after the connect notice), and is looked
  // for again until settle_until.
  bool broken = false;
  std::optional<std::chrono::steady_clock::time_point> settle_until;
  // Whether our port reaches the device, as the connect callback last told;
  // what the process callback goes by where asking the server could block.
  std::atomic<bool> connected{true};
  SpscRing ring{kRingBytes};          // records: OutRecord, then the bytes
  std::atomic<uint64_t> consumed{0};  // record bytes the process callback has taken
  SpscRing stretches{sizeof(Stretch) * 64};  // written before consumed counts their bytes
  bool taking_heard = true;                  // process thread: the last stretch written

  std::mutex mutex;  // the writing side of ring, and everything below
  std::condition_variable changed;
  MidiOutStream stream{kMaxEvent};
  std::deque<std::vector<BYTE>> waiting;  // records that found no room in ring yet
  uint64_t queued = 0;                    // record bytes ever queued
  // A header's bytes run from first to last record byte; it is done once
  // consumed reaches its end.
  struct InFlight {
    uint64_t begin;
    uint64_t end;
    MIDIHDR* header;
  };
  std::deque<InFlight> in_flight;
  std::deque<Stretch> seen;  // stretches read, not yet behind every header
  bool heard = true;         // where the last stretch applied leaves us
  bool closed = false;

  bool Drained() const {
    return waiting.empty() && in_flight.empty() &&
           consumed.load(std::memory_order_acquire) == queued;
  }
};

struct InState {
  explicit InState(MidiInClient& in_client) : stream(in_client) {}
  size_t slot = 0;
  jack_port_t* port = nullptr;
  SpscRing ring{kRingBytes};  // records: InRecord, then the bytes
  // Backend thread only.
  MidiInStream stream;
  bool started = false;
  jack_nframes_t start_frame = 0;
  jack_nframes_t rate = 48000;
};

struct OutPort final : MidiBackend::Port {
  std::shared_ptr<OutState> state;
};

struct InPort final : MidiBackend::Port {
  std::shared_ptr<InState> state;
};

// Milliseconds since the start; an event of the cycle the start fell in counts as 0.
DWORD Stamp(const InState& in, jack_nframes_t frame) {
  const auto frames = static_cast<int32_t>(frame - in.start_frame);
  return frames <= 0 ? 0 : static_cast<DWORD>(uint64_t(frames) * 1000 / in.rate);
}

std::string StatusText(jack_status_t status) {
  if (status & JackServerFailed) return "no JACK server is running";
  if (status & JackServerError) return "the JACK server did not answer";
  if (status & JackVersionError) return "the JACK server speaks another protocol version";
  if (status & JackShmFailure) return "no access to JACK's shared memory";
  if (status & JackInitFailure) return "the client could not be initialised";
  return "JACK status " + std::to_string(static_cast<int>(status));
}

std::string ConnectError(int err) {
  return err > 0 ? std::strerror(err) : "the port is gone or refused the connection";
}

MMRESULT ServerGone(std::string_view what) {
  return MidiErrorCode("Cannot " + std::string(what) + " - the JACK server has stopped");
}

// Process thread. Moves whole events from the ring into the port's buffer for
// this cycle, each one period after the frame it was sent at (the server's
// estimate, jack_frame_time), so the intervals between events reach the peer
// as they were sent. An event of a later cycle, or one that does not fit,
// waits for the next one.
bool SendOut(OutState& out, jack_nframes_t frames, jack_nframes_t cycle_start,
             bool ask_server) noexcept {
  void* buffer = jack_port_get_buffer(out.port, frames);
  jack_midi_clear_buffer(buffer);
  uint64_t taken = 0;
  bool reserved = false;
  jack_nframes_t last = 0;
  OutRecord record;
  while (out.ring.Peek(&record, sizeof record)) {
    const auto offset = static_cast<int32_t>(record.frame + frames - cycle_start);
    if (offset >= static_cast<int32_t>(frames)) break;
    // Late (a slow or skipped cycle): as early as this cycle allows, in order.
    const jack_nframes_t at =
        std::max<jack_nframes_t>(last, offset < 0 ? 0 : static_cast<jack_nframes_t>(offset));
    jack_midi_data_t* data = jack_midi_event_reserve(buffer, at, record.size);
    if (!data && reserved) break;
    out.ring.Skip(sizeof record);
    if (data) {
      out.ring.Read(data, record.size);
      reserved = true;
      last = at;
    } else {
      out.ring.Skip(record.size);  // bigger than an empty buffer: it would block the port for ever
    }
    taken += sizeof record + record.size;
  }
  if (taken) {
    const bool heard = ask_server ? jack_port_connected(out.port) > 0
                                  : out.connected.load(std::memory_order_relaxed);
    if (heard != out.taking_heard) {
      const Stretch stretch{out.consumed.load(std::memory_order_relaxed), heard, {}};
      // A full ring (the backend thread long stalled) keeps the last stretch
      // standing; the next cycle tries again.
      if (out.stretches.Write(&stretch, sizeof stretch)) out.taking_heard = heard;
    }
    out.consumed.fetch_add(taken, std::memory_order_release);
  }
  return taken > 0;
}

// Process thread. Copies the cycle's events into the ring; what finds no room is lost.
bool TakeIn(InState& in, jack_nframes_t frames, jack_nframes_t cycle_start) noexcept {
  void* buffer = jack_port_get_buffer(in.port, frames);
  const uint32_t count = jack_midi_get_event_count(buffer);
  bool wrote = false;
  for (uint32_t i = 0; i < count; ++i) {
    jack_midi_event_t event;
    if (jack_midi_event_get(&event, buffer, i) != 0) continue;
    if (event.size == 0 || event.size > 0xFFFF) continue;
    const InRecord record{cycle_start + event.time, static_cast<uint16_t>(event.size), 0};
    wrote |= in.ring.Write(&record, sizeof record, event.buffer, event.size);
  }
  return wrote;
}

class JackMidiBackend final : public MidiBackend {
 public:
  ~JackMidiBackend() override;

  bool Open(std::string& why);

  std::string Name() const override { return "jack"; }
  unsigned long DeviceGeneration() const override { return generation_.load(); }

  UINT OutGetNumDevs() override;
  MMRESULT OutGetDevCaps(UINT device, MIDIOUTCAPSA& caps) override;
  MMRESULT OutGetDevInfo(UINT device, MidiDeviceInfo& info) override;
  MMRESULT OutOpen(UINT device, MidiOutClient& client, std::unique_ptr<Port>& port) override;
  MMRESULT OutClose(Port& port) override;
  MMRESULT OutShortMsg(Port& port, DWORD message) override;
  MMRESULT OutLongMsg(Port& port, MIDIHDR& header) override;

  UINT InGetNumDevs() override;
  MMRESULT InGetDevCaps(UINT device, MIDIINCAPSA& caps) override;
  MMRESULT InGetDevInfo(UINT device, MidiDeviceInfo& info) override;
  MMRESULT InOpen(UINT device, MidiInClient& client, std::unique_ptr<Port>& port) override;
  MMRESULT InClose(Port& port) override;
  MMRESULT InAddBuffer(Port& port, MIDIHDR& header) override;
  MMRESULT InStart(Port& port) override;
  MMRESULT InStop(Port& port) override;
  MMRESULT InReset(Port& port) override;

 private:
  template <class State>
  using Slots = std::array<std::atomic<State*>, kMaxOpen>;

  static int ProcessCallback(jack_nframes_t frames, void* self);
  static void ShutdownCallback(void* self);
  static void PortCallback(jack_port_id_t, int, void* self);
  static void ConnectCallback(jack_port_id_t, jack_port_id_t, int, void* self);
  static void RenameCallback(jack_port_id_t, const char*, const char*, void* self);
  bool ReachesTarget(OutState& out);
  std::vector<std::string> Namesakes(const std::string& name);
  void MarkVanished(OutState& out);
  void Recheck(OutState& out);
  int Process(jack_nframes_t frames) noexcept;

  bool Dead() const { return dead_.load(std::memory_order_acquire); }
  struct Device {
    std::string name;
    WORD technology;
    std::string identity;
  };
  std::vector<Device> ListPorts(unsigned long flags);
  bool FindOutput(UINT device, Device& found);
  template <class State>
  static std::atomic<State*>* FreeSlot(Slots<State>& table);
  template <class State>
  void Unpublish(std::atomic<State*>& slot);
  void WaitForNewCycle();
  jack_port_t* Register(const char* kind, unsigned long flags);
  void Queue(OutState& out, const BYTE* bytes, size_t count);
  void Pump(OutState& out);
  void DeliverDone(OutState& out);
  void DeliverRest(OutState& out, MMRESULT why);
  void Serve();

  jack_nframes_t Now() const { return Dead() ? 0 : jack_frame_time(client_); }

  jack_client_t* client_ = nullptr;
  std::atomic<bool> dead_{false};
  // jackd answers jack_port_connected from shared memory without a lock;
  // PipeWire's libjack takes its context lock and walks the graph, which the
  // process callback must not.
  bool ask_server_ = false;
  std::atomic<unsigned long> generation_{0};  // counts ports registered and unregistered
  std::atomic<bool> ports_changed_{false};  // a port or connection came or went
  std::mutex vanished_mutex_;
  std::vector<jack_uuid_t> vanished_ports_;  // ports unregistered since the last look
  std::vector<std::pair<jack_uuid_t, jack_uuid_t>> disconnected_;  // since the last look
  Slots<OutState> out_slots_{};
  Slots<InState> in_slots_{};
  std::atomic<uint64_t> entered_{0};  // process cycles begun
  std::atomic<uint64_t> left_{0};     // process cycles finished

  std::mutex ports_mutex_;  // choice of slots and of our port names
  int ports_made_ = 0;

  std::mutex devices_mutex_;
  std::vector<Device> outputs_;
  std::vector<Device> inputs_;

  BackendThread thread_;
  // Backend thread only.
  std::vector<std::shared_ptr<OutState>> outs_;
  std::vector<std::shared_ptr<InState>> ins_;
  std::vector<BYTE> scratch_;
};

bool JackMidiBackend::Open(std::string& why) {
  jack_status_t status{};
  client_ = jack_client_open(kJackClientName, JackNoStartServer, &status);
  if (!client_) {
    why = "Cannot open JACK client - " + StatusText(status);
    return false;
  }
  jack_set_process_callback(client_, &ProcessCallback, this);
  jack_on_shutdown(client_, &ShutdownCallback, this);
  jack_set_port_registration_callback(client_, &PortCallback, this);
  jack_set_port_connect_callback(client_, &ConnectCallback, this);
  jack_set_port_rename_callback(client_, &RenameCallback, this);
  const char* version = jack_get_version_string();
  ask_server_ = version && !std::strstr(version, "PipeWire");
  if (!thread_.Start(
          {}, [this] { Serve(); }, why))
    return false;
  if (jack_activate(client_) != 0) {
    why = "Cannot activate JACK client - the server refused";
    return false;
  }
  return true;
}

JackMidiBackend::~JackMidiBackend() {
  if (client_ && !Dead()) jack_deactivate(client_);
  thread_.Stop();
  if (client_) jack_client_close(client_);
}

int JackMidiBackend::ProcessCallback(jack_nframes_t frames, void* self) {
  return static_cast<JackMidiBackend*>(self)->Process(frames);
}

// Called as a signal handler would be: only an atomic store and a write().
void JackMidiBackend::ShutdownCallback(void* self) {
  auto* backend = static_cast<JackMidiBackend*>(self);
  backend->dead_.store(true, std::memory_order_release);
  backend->thread_.Wake();
}

// JACK's notification thread: the backend thread looks at what changed. Who
// a port that goes was is taken now, while the port can still be asked.
void JackMidiBackend::PortCallback(jack_port_id_t id, int registered, void* self) {
  auto* backend = static_cast<JackMidiBackend*>(self);
  jack_port_t* port = jack_port_by_id(backend->client_, id);
  // Our own ports are in no list: opening one must not make the window ask
  // the server for every device again (a clock tick waits meanwhile).
  if (port && jack_port_is_mine(backend->client_, port)) return;
  backend->generation_.fetch_add(1);
  if (!registered && port) {
    std::lock_guard lock(backend->vanished_mutex_);
    backend->vanished_ports_.push_back(jack_port_uuid(port));
  }
  ConnectCallback(0, 0, 0, self);
}

// A renamed port is the same device under a new name: the lists show it, and
// a port sending to it follows it (its connections tell, by uuid).
void JackMidiBackend::RenameCallback(jack_port_id_t, const char*, const char*, void* self) {
  auto* backend = static_cast<JackMidiBackend*>(self);
  backend->generation_.fetch_add(1);
  ConnectCallback(0, 0, 0, self);
}

void JackMidiBackend::ConnectCallback(jack_port_id_t a, jack_port_id_t b, int connect, void* self) {
  auto* backend = static_cast<JackMidiBackend*>(self);
  if (!connect) {
    jack_port_t* one = jack_port_by_id(backend->client_, a);
    jack_port_t* other = jack_port_by_id(backend->client_, b);
    if (one && other) {
      std::lock_guard lock(backend->vanished_mutex_);
      backend->disconnected_.emplace_back(jack_port_uuid(one), jack_port_uuid(other));
    }
  }
  backend->ports_changed_.store(true);
  backend->thread_.Wake();
}

// Backend thread. Whether our port is connected to the device's port, found
// among its connections by uuid, so that a rename (whose notice may come
// later) is followed rather than taken for an unplug.
bool JackMidiBackend::ReachesTarget(OutState& out) {
  const char** names = jack_port_get_all_connections(client_, out.port);
  if (!names) return false;
  bool found = false;
  for (const char** name = names; *name && !found; ++name) {
    jack_port_t* port = jack_port_by_name(client_, *name);
    if (port && jack_port_uuid(port) == out.target_uuid) {
      out.target = *name;
      found = true;
    }
  }
  jack_free(names);
  return found;
}

// a2jmidid puts the ALSA client number in its ports' names ("a2j:TQX Cable
// [28] (playback): TQX Cable MIDI 1"), and a re-plugged unit may get another.
std::string WithoutClientNumber(std::string_view name) {
  std::string result;
  size_t at = 0;
  for (;;) {
    const size_t open = name.find(" [", at);
    const size_t close = open == std::string_view::npos ? open : name.find(']', open);
    if (close == std::string_view::npos) break;
    const std::string_view inside = name.substr(open + 2, close - open - 2);
    const bool number = !inside.empty() && std::all_of(inside.begin(), inside.end(), [](char c) {
      return c >= '0' && c <= '9';
    });
    result.append(name.substr(at, (number ? open : close + 1) - at));
    at = close + 1;
  }
  result.append(name.substr(at));
  return result;
}

// Backend thread. Other clients' MIDI input ports whose names, client numbers
// aside, are name's (name itself included when it is there).
std::vector<std::string> JackMidiBackend::Namesakes(const std::string& name) {
  std::vector<std::string> found;
  const std::string wanted = WithoutClientNumber(name);
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, JackPortIsInput);
  if (!ports) return found;
  for (const char** port = ports; *port; ++port) {
    if (WithoutClientNumber(*port) == wanted) found.emplace_back(*port);
  }
  jack_free(ports);
  return found;
}

// Backend thread.
void JackMidiBackend::MarkVanished(OutState& out) {
  if (out.vanished) return;
  out.vanished = true;
  out.bystanders = Namesakes(out.target);
}

// Backend thread. A device whose port vanished or whose connection was broken
// fails every later send. A port that comes back under the device's name is
// connected to again: a uuid says nothing across an unplug (jackd makes it
// from the port's slot, which the next port may take), so the name is all
// there is to go by. A full port name is never shared; one that differs only
// in a2jmidid's client number is taken when it is the only such port that was
// not there when the device went (a connection the user broke stays broken).
void JackMidiBackend::Recheck(OutState& out) {
  if (Dead()) return;
  const auto now = std::chrono::steady_clock::now();
  if (!out.vanished && ReachesTarget(out)) {
    out.connected.store(true, std::memory_order_relaxed);
    out.gone = false;
    out.broken = false;
    out.settle_until.reset();
    return;
  }
  jack_port_t* target = jack_port_by_name(client_, out.target.c_str());
  if (!target || jack_port_uuid(target) != out.target_uuid) MarkVanished(out);
  if (!out.vanished && !out.broken) {
    // Still there and never disconnected: the graph has not caught up yet.
    if (!out.settle_until) out.settle_until = now + kCycleLimit;
    if (now < *out.settle_until) {
      thread_.ServeAfter(std::chrono::milliseconds(5));
      return;
    }
  }
  out.settle_until.reset();
  out.connected.store(false, std::memory_order_relaxed);
  out.gone = true;
  if (!out.vanished) return;
  if (!target) {
    std::vector<std::string> candidates = Namesakes(out.target);
    std::erase_if(candidates, [&](const std::string& name) {
      return std::find(out.bystanders.begin(), out.bystanders.end(), name) != out.bystanders.end();
    });
    if (candidates.size() != 1) return;
    target = jack_port_by_name(client_, candidates.front().c_str());
    if (!target || jack_port_is_mine(client_, target)) return;
    out.target = candidates.front();
  }
  // Back under its name. Connected, it is ours again; the callback of the
  // connection looks once more. Already connected (the notice of the old
  // port's end came after the new one's), no callback will.
  const int err = jack_connect(client_, jack_port_name(out.port), out.target.c_str());
  if (err == 0 || err == EEXIST) {
    out.target_uuid = jack_port_uuid(target);
    out.vanished = false;
    out.broken = false;
    out.settle_until = std::chrono::steady_clock::now() + kCycleLimit;
    thread_.ServeAfter(std::chrono::milliseconds(5));  // until the graph has it
  }
}

// Process thread: no lock, no allocation. The slots are read after entered_ is
// counted, so a port that Unpublish cleared is not picked up by a later cycle.
int JackMidiBackend::Process(jack_nframes_t frames) noexcept {
  entered_.fetch_add(1);
  bool wake = false;
  const jack_nframes_t cycle_start = jack_last_frame_time(client_);
  for (auto& slot : out_slots_) {
    if (OutState* out = slot.load()) wake |= SendOut(*out, frames, cycle_start, ask_server_);
  }
  for (auto& slot : in_slots_) {
    if (InState* in = slot.load()) wake |= TakeIn(*in, frames, cycle_start);
  }
  if (wake) thread_.Wake();
  left_.fetch_add(1, std::memory_order_release);
  return 0;
}

template <class State>
std::atomic<State*>* JackMidiBackend::FreeSlot(Slots<State>& table) {
  for (auto& slot : table) {
    if (!slot.load()) return &slot;
  }
  return nullptr;
}

// Takes a port away from the process callback and waits out a cycle that may
// still be using it.
template <class State>
void JackMidiBackend::Unpublish(std::atomic<State*>& slot) {
  slot.store(nullptr);
  const uint64_t entered = entered_.load();
  while (left_.load(std::memory_order_acquire) < entered && !Dead()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// A connection made or broken counts from the first cycle that begins after
// the request: wait until one has run, so that nothing sent right after opening
// is lost and nothing stale is read after closing.
void JackMidiBackend::WaitForNewCycle() {
  const uint64_t target = entered_.load() + 2;
  const auto deadline = std::chrono::steady_clock::now() + kCycleLimit;
  while (left_.load(std::memory_order_acquire) < target && !Dead() &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
}

// ---- devices ----

// ALSA's "Midi Through" as the bridges show it: a2jmidid keeps the client's
// name in the port's name and, with its spaces made dashes, in its alias
// ("alsa_pcm:Midi-Through/midi_playback_1"); PipeWire's bridge in the name.
bool IsMidiThrough(std::string_view name) {
  return name.find("Midi Through") != std::string_view::npos ||
         name.find("Midi-Through") != std::string_view::npos;
}

// Hardware ports (JackPortIsPhysical, also as PipeWire and a2jmidid bridge
// them) lead to an interface; other clients' ports are software. So is ALSA's
// "Midi Through", which a2jmidid flags physical as it does any port of a
// kernel client: as on ALSA, it must not be opened ahead of the interface.
std::vector<JackMidiBackend::Device> JackMidiBackend::ListPorts(unsigned long flags) {
  std::vector<Device> devices;
  if (Dead()) return devices;
  const char** ports = jack_get_ports(client_, nullptr, JACK_DEFAULT_MIDI_TYPE, flags);
  if (!ports) return devices;
  std::vector<char> alias_space(2 * (jack_port_name_size() + 1));
  char* aliases[2] = {alias_space.data(), alias_space.data() + alias_space.size() / 2};
  for (const char** name = ports; *name; ++name) {
    jack_port_t* port = jack_port_by_name(client_, *name);
    if (!port) continue;  // went since the list was made
    if (jack_port_is_mine(client_, port)) continue;
    bool through = IsMidiThrough(*name);
    const int count = jack_port_get_aliases(port, aliases);
    for (int i = 0; i < count && i < 2; ++i) through |= IsMidiThrough(aliases[i]);
    const bool physical = (jack_port_flags(port) & JackPortIsPhysical) && !through;
    char uuid[JACK_UUID_STRING_SIZE];
    jack_uuid_unparse(jack_port_uuid(port), uuid);
    devices.push_back({*name, physical ? MOD_MIDIPORT : MOD_SWSYNTH, uuid});
  }
  jack_free(ports);
  return devices;
}

UINT JackMidiBackend::OutGetNumDevs() {
  std::vector<Device> devices = ListPorts(JackPortIsInput);
  std::lock_guard lock(devices_mutex_);
  outputs_ = std::move(devices);
  return static_cast<UINT>(outputs_.size());
}

UINT JackMidiBackend::InGetNumDevs() {
  std::vector<Device> devices = ListPorts(JackPortIsOutput);
  std::lock_guard lock(devices_mutex_);
  inputs_ = std::move(devices);
  return static_cast<UINT>(inputs_.size());
}

// The mapper stands for the first output device.
bool JackMidiBackend::FindOutput(UINT device, Device& found) {
  std::lock_guard lock(devices_mutex_);
  const size_t index = device == MIDI_MAPPER ? 0 : device;
  if (index >= outputs_.size()) return false;
  found = outputs_[index];
  return true;
}

MMRESULT JackMidiBackend::OutGetDevCaps(UINT device, MIDIOUTCAPSA& caps) {
  Device found;
  if (!FindOutput(device, found)) return MMSYSERR_BADDEVICEID;
  caps = device == MIDI_MAPPER ? PortOutCaps("JACK MIDI Mapper", MOD_MAPPER)
                               : PortOutCaps(found.name, found.technology);
  return MMSYSERR_NOERROR;
}

MMRESULT JackMidiBackend::InGetDevCaps(UINT device, MIDIINCAPSA& caps) {
  std::lock_guard lock(devices_mutex_);
  if (device >= inputs_.size()) return MMSYSERR_BADDEVICEID;
  caps = PortInCaps(inputs_[device].name);
  return MMSYSERR_NOERROR;
}

// A port is known by its uuid; JACK has no address beside its full name.
MMRESULT JackMidiBackend::OutGetDevInfo(UINT device, MidiDeviceInfo& info) {
  Device found;
  if (device == MIDI_MAPPER || !FindOutput(device, found)) return MMSYSERR_BADDEVICEID;
  info = {found.name, found.identity, {}};
  return MMSYSERR_NOERROR;
}

MMRESULT JackMidiBackend::InGetDevInfo(UINT device, MidiDeviceInfo& info) {
  std::lock_guard lock(devices_mutex_);
  if (device >= inputs_.size()) return MMSYSERR_BADDEVICEID;
  info = {inputs_[device].name, inputs_[device].identity, {}};
  return MMSYSERR_NOERROR;
}

// Under ports_mutex_.
jack_port_t* JackMidiBackend::Register(const char* kind, unsigned long flags) {
  const std::string name = std::string("midi_") + kind + "_" + std::to_string(++ports_made_);
  return jack_port_register(client_, name.c_str(), JACK_DEFAULT_MIDI_TYPE, flags, 0);
}

// ---- output ----

MMRESULT JackMidiBackend::OutOpen(UINT device, MidiOutClient& client, std::unique_ptr<Port>& port) {
  Device found;
  if (!FindOutput(device, found)) return MMSYSERR_BADDEVICEID;
  const std::string& target = found.name;
  if (Dead()) return ServerGone("open port");
  auto out = std::make_shared<OutState>();
  out->client = &client;
  out->target = target;
  std::lock_guard lock(ports_mutex_);
  std::atomic<OutState*>* slot = FreeSlot(out_slots_);
  if (!slot) return MidiErrorCode("Cannot open port - too many ports are open");
  out->slot = static_cast<size_t>(slot - out_slots_.data());
  out->port = Register("out", JackPortIsOutput);
  if (!out->port) return MidiErrorCode("Cannot register port - the JACK server refused");
  const int err = jack_connect(client_, jack_port_name(out->port), target.c_str());
  jack_port_t* device_port = jack_port_by_name(client_, target.c_str());
  if ((err != 0 && err != EEXIST) || !device_port) {
    jack_port_unregister(client_, out->port);
    return MidiErrorCode("Cannot connect to " + target + " - " + ConnectError(err));
  }
  out->target_uuid = jack_port_uuid(device_port);
  thread_.Run([&] { outs_.push_back(out); });
  slot->store(out.get());
  WaitForNewCycle();
  if (ask_server_) {
    // jackd switches to a graph with the new connection only between whole
    // cycles, later when they overrun: what is sent before would reach no one.
    const auto deadline = std::chrono::steady_clock::now() + kCycleLimit;
    while (jack_port_connected(out->port) == 0 && !Dead() &&
           std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  auto opened = std::make_unique<OutPort>();
  opened->state = std::move(out);
  port = std::move(opened);
  return MMSYSERR_NOERROR;
}

// Under out.mutex. Records keep their order: none overtakes one still waiting.
void JackMidiBackend::Queue(OutState& out, const BYTE* bytes, size_t count) {
  const OutRecord header{Now(), static_cast<uint16_t>(count), 0};
  out.queued += sizeof header + count;
  if (out.waiting.empty() && out.ring.Write(&header, sizeof header, bytes, count)) return;
  std::vector<BYTE> record(sizeof header + count);
  std::memcpy(record.data(), &header, sizeof header);
  std::memcpy(record.data() + sizeof header, bytes, count);
  out.waiting.push_back(std::move(record));
}

// Under out.mutex.
void JackMidiBackend::Pump(OutState& out) {
  while (!out.waiting.empty()) {
    const std::vector<BYTE>& record = out.waiting.front();
    if (!out.ring.Write(record.data(), record.size())) return;
    out.waiting.pop_front();
  }
}

MMRESULT JackMidiBackend::OutShortMsg(Port& port, DWORD message) {
  if (Dead()) return ServerGone("send");
  OutState& out = *static_cast<OutPort&>(port).state;
  if (out.gone) return MMSYSERR_NODRIVER;  // what Windows gives for an unplugged device
  std::lock_guard lock(out.mutex);
  out.stream.Short(message, [&](const BYTE* bytes, size_t count) { Queue(out, bytes, count); });
  return MMSYSERR_NOERROR;
}

MMRESULT JackMidiBackend::OutLongMsg(Port& port, MIDIHDR& header) {
  if (Dead()) return ServerGone("send");
  OutState& out = *static_cast<OutPort&>(port).state;
  if (out.gone) return MMSYSERR_NODRIVER;
  {
    std::lock_guard lock(out.mutex);
    const uint64_t begin = out.queued;
    out.stream.Long(reinterpret_cast<const BYTE*>(header.lpData), header.dwBufferLength,
                    [&](const BYTE* bytes, size_t count) { Queue(out, bytes, count); });
    out.in_flight.push_back({begin, out.queued, &header});
  }
  thread_.Wake();  // a message with nothing to send is done at once
  return MMSYSERR_NOERROR;
}

// Backend thread, under out.mutex. Whether every byte from begin to end was
// taken while our port reached the device, by the stretches the process
// callback marked; those behind end are applied and dropped.
bool Heard(OutState& out, uint64_t begin, uint64_t end) {
  Stretch stretch;
  while (out.stretches.Read(&stretch, sizeof stretch)) out.seen.push_back(stretch);
  while (!out.seen.empty() && out.seen.front().offset <= begin) {
    out.heard = out.seen.front().heard;
    out.seen.pop_front();
  }
  bool heard = out.heard || begin == end;
  while (!out.seen.empty() && out.seen.front().offset < end) {
    out.heard = out.seen.front().heard;
    heard &= out.heard;
    out.seen.pop_front();
  }
  return heard;
}

// Backend thread. Refills the ring and reports the headers whose bytes the
// process callback has taken: done when it took them all while our port
// reached the device, undelivered when any went while it did not; then the
// port fails its next send even before JACK's notice of the loss arrives.
// Once the server is gone, what it never took is undelivered too.
void JackMidiBackend::DeliverDone(OutState& out) {
  std::vector<std::pair<MIDIHDR*, MMRESULT>> reports;
  bool lost = false;
  {
    std::lock_guard lock(out.mutex);
    if (out.closed) return;
    const bool dead = Dead();
    if (dead) {
      out.waiting.clear();
    } else {
      Pump(out);
    }
    const uint64_t consumed = out.consumed.load(std::memory_order_acquire);
    while (!out.in_flight.empty()) {
      const OutState::InFlight item = out.in_flight.front();
      if (item.end > consumed && !dead) break;
      out.in_flight.pop_front();
      if (item.end > consumed) {
        reports.emplace_back(item.header, ServerGone("send"));
      } else if (Heard(out, item.begin, item.end)) {
        reports.emplace_back(item.header, MMSYSERR_NOERROR);
      } else {
        reports.emplace_back(item.header, MMSYSERR_NODRIVER);  // as for an unplugged device
        lost = true;
      }
    }
  }
  if (lost) out.gone = true;
  for (const auto& [header, why] : reports) {
    if (why == MMSYSERR_NOERROR) {
      out.client->Done(header);
    } else {
      out.client->Undelivered(header, why);
    }
  }
  out.changed.notify_all();
}

// Backend thread, at close: what is still not taken will never be.
void JackMidiBackend::DeliverRest(OutState& out, MMRESULT why) {
  std::deque<OutState::InFlight> rest;
  {
    std::lock_guard lock(out.mutex);
    rest.swap(out.in_flight);
    out.waiting.clear();
    out.closed = true;
  }
  for (const OutState::InFlight& item : rest) out.client->Undelivered(item.header, why);
}

MMRESULT JackMidiBackend::OutClose(Port& port) {
  const std::shared_ptr<OutState>& out = static_cast<OutPort&>(port).state;
  if (!thread_.OnThread()) {
    std::unique_lock lock(out->mutex);
    out->changed.wait_for(lock, kCycleLimit, [&] { return Dead() || out->Drained(); });
  }
  // Unconnected first: once the process callback no longer clears the port's
  // buffer, its last events would be read again in every cycle.
  if (!Dead()) {
    jack_port_disconnect(client_, out->port);
    WaitForNewCycle();
  }
  Unpublish(out_slots_[out->slot]);
  thread_.Run([&] {
    std::erase(outs_, out);
    DeliverDone(*out);  // what the last cycles took
    DeliverRest(*out, Dead() ? ServerGone("send")
                             : MidiErrorCode("Cannot send - the JACK server took no more"));
  });
  if (!Dead()) jack_port_unregister(client_, out->port);
  return MMSYSERR_NOERROR;
}

// ---- input ----

MMRESULT JackMidiBackend::InOpen(UINT device, MidiInClient& client, std::unique_ptr<Port>& port) {
  std::string source;
  {
    std::lock_guard lock(devices_mutex_);
    if (device >= inputs_.size()) return MMSYSERR_BADDEVICEID;
    source = inputs_[device].name;
  }
  if (Dead()) return ServerGone("open port");
  auto in = std::make_shared<InState>(client);
  std::lock_guard lock(ports_mutex_);
  std::atomic<InState*>* slot = FreeSlot(in_slots_);
  if (!slot) return MidiErrorCode("Cannot open port - too many ports are open");
  in->slot = static_cast<size_t>(slot - in_slots_.data());
  in->port = Register("in", JackPortIsInput);
  if (!in->port) return MidiErrorCode("Cannot register port - the JACK server refused");
  const int err = jack_connect(client_, source.c_str(), jack_port_name(in->port));
  if (err != 0 && err != EEXIST) {
    jack_port_unregister(client_, in->port);
    return MidiErrorCode("Cannot connect from " + source + " - " + ConnectError(err));
  }
  thread_.Run([&] { ins_.push_back(in); });
  slot->store(in.get());
  WaitForNewCycle();
  auto opened = std::make_unique<InPort>();
  opened->state = std::move(in);
  port = std::move(opened);
  return MMSYSERR_NOERROR;
}

MMRESULT JackMidiBackend::InClose(Port& port) {
  const std::shared_ptr<InState>& in = static_cast<InPort&>(port).state;
  MMRESULT result = MMSYSERR_NOERROR;
  thread_.Run([&] {
    if (in->stream.Buffers() > 0) {
      result = MIDIERR_STILLPLAYING;
      return;
    }
    std::erase(ins_, in);
    in->stream.Detach();
  });
  if (result) return result;
  Unpublish(in_slots_[in->slot]);
  if (!Dead()) jack_port_unregister(client_, in->port);
  return MMSYSERR_NOERROR;
}

MMRESULT JackMidiBackend::InAddBuffer(Port& port, MIDIHDR& header) {
  InState& in = *static_cast<InPort&>(port).state;
  thread_.Run([&] { in.stream.AddBuffer(&header); });
  return MMSYSERR_NOERROR;
}

MMRESULT JackMidiBackend::InStart(Port& port) {
  InState& in = *static_cast<InPort&>(port).state;
  const jack_nframes_t now = Now();
  const jack_nframes_t rate = Dead() ? 0 : jack_get_sample_rate(client_);
  thread_.Run([&] {
    if (in.started) return;
    // What came before the start is not part of the input. (Frame times cannot
    // tell: with a late cycle, the estimate of now runs past the cycle's start.)
    InRecord record;
    while (in.ring.Peek(&record, sizeof record)) in.ring.Skip(sizeof record + record.size);
    in.started = true;
    in.start_frame = now;
    if (rate) in.rate = rate;
  });
  return MMSYSERR_NOERROR;
}

MMRESULT JackMidiBackend::InStop(Port& port) {
  InState& in = *static_cast<InPort&>(port).state;
  const jack_nframes_t now = Now();
  thread_.Run([&] {
    if (in.started) in.stream.Stop(Stamp(in, now));
    in.started = false;
  });
  return MMSYSERR_NOERROR;
}

MMRESULT JackMidiBackend::InReset(Port& port) {
  InState& in = *static_cast<InPort&>(port).state;
  const jack_nframes_t now = Now();
  thread_.Run([&] {
    in.stream.Reset(in.started ? Stamp(in, now) : 0);
    in.started = false;
  });
  return MMSYSERR_NOERROR;
}

// Backend thread, after every wake-up. Works on copies of the port lists: a
// callback may close a port.
void JackMidiBackend::Serve() {
  const std::vector<std::shared_ptr<OutState>> outs = outs_;
  if (ports_changed_.exchange(false)) {
    std::vector<jack_uuid_t> vanished;
    std::vector<std::pair<jack_uuid_t, jack_uuid_t>> disconnected;
    {
      std::lock_guard lock(vanished_mutex_);
      vanished.swap(vanished_ports_);
      disconnected.swap(disconnected_);
    }
    for (const auto& out : outs) {
      const jack_uuid_t own = jack_port_uuid(out->port);
      for (const auto& [one, other] : disconnected) {
        if ((one == own && other == out->target_uuid) || (other == own && one == out->target_uuid)) {
          out->broken = true;
        }
      }
      if (std::find(vanished.begin(), vanished.end(), out->target_uuid) != vanished.end()) {
        MarkVanished(*out);
      }
      Recheck(*out);
    }
  } else {
    for (const auto& out : outs) {
      if (out->settle_until) Recheck(*out);
    }
  }
  for (const auto& out : outs) DeliverDone(*out);
  const std::vector<std::shared_ptr<InState>> ins = ins_;
  for (const auto& in : ins) {
    InRecord record;
    while (in->ring.Peek(&record, sizeof record)) {
      scratch_.resize(record.size);
      in->ring.Skip(sizeof record);
      in->ring.Read(scratch_.data(), record.size);
      if (!in->started) continue;
      in->stream.Receive(scratch_.data(), scratch_.size(), Stamp(*in, record.frame));
    }
  }
}

}  // namespace

std::unique_ptr<MidiBackend> OpenJackMidiBackend(std::string& why) {
  auto backend = std::make_unique<JackMidiBackend>();
  if (!backend->Open(why)) return nullptr;
  return backend;
}
