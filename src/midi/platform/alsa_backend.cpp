#include "midi/platform/alsa_backend.h"

#include <alsa/asoundlib.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <deque>
#include <fstream>
#include <map>
#include <mutex>
#include <string_view>
#include <tuple>
#include <vector>

#include "midi/platform/backend_support.h"
#include "midi/platform/midi_streams.h"

namespace {

using Clock = std::chrono::steady_clock;

// SysEx goes out in events of at most this many bytes, as ALSA's own encoder
// cuts it; a receiving MIDI port writes the pieces back to back.
constexpr size_t kSysexPiece = 256;

MMRESULT SndError(std::string_view what, int err) {
  return MidiErrorCode("Cannot " + std::string(what) + " - " + snd_strerror(err));
}

struct SeqDevice {
  int client = 0;
  int port = 0;
  std::string name;
  WORD technology = MOD_MIDIPORT;
  std::string client_name;
  std::string port_name;
  int card = -1;  // the sound card of a kernel client; -1 for any other
  unsigned caps = 0;
};

std::string Address(const SeqDevice& device) {
  return std::to_string(device.client) + ":" + std::to_string(device.port);
}

// Sequencer clients of card n are numbered from 16 + 4n, one per MIDI device
// of the card, whatever order cards come in.
constexpr int kFirstCardClient = 16;
constexpr int kClientsPerCard = 4;

// Who the device is. On a card: the card's identity, the client's place
// among the card's and the port; ready is false while the card cannot be
// asked yet (it is still being set up). Any other client: its address, which
// is not lasting.
std::string Identity(const SeqDevice& device, bool& lasting, bool& ready) {
  lasting = false;
  ready = true;
  if (device.card < 0) return Address(device);
  const std::string card = std::to_string(device.card);
  std::string serial;
  std::ifstream serial_file("/sys/class/sound/card" + card + "/device/../serial");
  std::getline(serial_file, serial);
  snd_ctl_t* ctl = nullptr;
  snd_ctl_card_info_t* info;
  snd_ctl_card_info_alloca(&info);
  if (snd_ctl_open(&ctl, ("hw:" + card).c_str(), 0) < 0) {
    ready = false;
    return Address(device);
  }
  const int err = snd_ctl_card_info(ctl, info);
  snd_ctl_close(ctl);
  if (err < 0) {
    ready = false;
    return Address(device);
  }
  int place = device.client - (kFirstCardClient + kClientsPerCard * device.card);
  if (place < 0 || place >= kClientsPerCard) place = device.client;
  return AlsaCardIdentity(serial, snd_ctl_card_info_get_longname(info),
                          snd_ctl_card_info_get_id(info), lasting) +
         "/" + std::to_string(place) + ":" + std::to_string(device.port);
}

// Only a port that leads out of the computer is a MIDI port: one of a kernel
// client on a sound card (a USB interface; snd-virmidi). "Midi Through" is a
// kernel client on no card, and other programs' ports are software, whatever
// type bits they claim; reporting them as MIDI ports would open them ahead of
// the real interface.
WORD Technology(const snd_seq_client_info_t* client, unsigned type) {
  constexpr unsigned kSynth = SND_SEQ_PORT_TYPE_SYNTH | SND_SEQ_PORT_TYPE_DIRECT_SAMPLE |
                              SND_SEQ_PORT_TYPE_SAMPLE | SND_SEQ_PORT_TYPE_SYNTHESIZER;
  const bool on_card = snd_seq_client_info_get_type(client) == SND_SEQ_KERNEL_CLIENT &&
                       snd_seq_client_info_get_card(client) >= 0;
  if (!on_card) return MOD_SWSYNTH;
  // A synthesizer on a sound card is still a synthesizer, not a way out.
  return (type & kSynth) ? MOD_SYNTH : MOD_MIDIPORT;
}

struct OutState {
  int own_port = -1;
  MidiOutClient* client = nullptr;
  // Where the messages go, under send_mutex; the names find it again after a
  // re-plug, when it may come back under another address.
  SeqDevice target;
  std::string target_client;
  std::string target_port;
  std::string target_identity;
  bool identity_lasting = false;
  std::atomic<bool> gone{false};  // the port vanished or our connection was broken
  // Backend thread: ports that came while gone, on a card not ready to say
  // who it is yet, and when to give up asking.
  std::vector<snd_seq_addr_t> unready;
  Clock::time_point unready_until;

  std::mutex send_mutex;  // one sender at a time: stream and encoder
  MidiOutStream stream{kSysexPiece};
  snd_midi_event_t* encoder = nullptr;

  std::mutex done_mutex;
  std::deque<MIDIHDR*> done;  // sent, Done not yet reported
  bool closed = false;        // set on the backend thread by the close

  ~OutState() {
    if (encoder) snd_midi_event_free(encoder);
  }
};

struct InState {
  explicit InState(MidiInClient& in_client) : stream(in_client) {}
  int own_port = -1;
  // Backend thread only.
  MidiInStream stream;
  bool started = false;
  Clock::time_point start;
};

struct OutPort final : MidiBackend::Port {
  std::shared_ptr<OutState> state;
};

struct InPort final : MidiBackend::Port {
  std::shared_ptr<InState> state;
};

DWORD Stamp(const InState& in, Clock::time_point when) {
  return static_cast<DWORD>(
      std::chrono::duration_cast<std::chrono::milliseconds>(when - in.start).count());
}

class AlsaMidiBackend final : public MidiBackend {
 public:
  ~AlsaMidiBackend() override;

  bool Open(std::string& why);

  std::string Name() const override { return "alsa"; }
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
  struct Received {
    int port;
    std::vector<BYTE> bytes;
  };
  struct Announced {
    int type;
    snd_seq_addr_t addr;  // the port (or client) that started or ended
    snd_seq_connect_t connect;  // an unsubscription
  };

  std::vector<SeqDevice> Scan();
  void Refresh();
  bool FindOutput(UINT device, SeqDevice& found);
  int CreatePort(const std::string& name, unsigned caps);
  MMRESULT Send(OutState& out, const BYTE* bytes, size_t count);
  void DeliverDone(OutState& out);
  void Serve();
  void Announce(const Announced& news);
  void Reconnect(OutState& out, const snd_seq_addr_t& addr);
  void RetryUnready();

  snd_seq_t* seq_ = nullptr;
  int own_client_ = -1;
  std::mutex seq_mutex_;  // every call on seq_

  std::mutex devices_mutex_;
  std::vector<SeqDevice> outputs_;
  std::vector<SeqDevice> inputs_;
  int ports_made_ = 0;  // under seq_mutex_
  std::atomic<unsigned long> generation_{0};  // counts the announcements of clients and ports
  int announce_port_ = -1;  // where the System Announce port tells of ports coming and going

  BackendThread thread_;
  // Backend thread only.
  snd_midi_event_t* decoder_ = nullptr;
  std::map<int, std::shared_ptr<InState>> inputs_by_port_;
  std::vector<std::shared_ptr<OutState>> outs_;
};

bool AlsaMidiBackend::Open(std::string& why) {
  int err = snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK);
  if (err < 0) {
    seq_ = nullptr;
    why = std::string("Cannot open sequencer - ") + snd_strerror(err);
    return false;
  }
  if ((err = snd_seq_set_client_name(seq_, kAlsaClientName)) < 0) {
    why = std::string("Cannot name client - ") + snd_strerror(err);
    return false;
  }
  own_client_ = snd_seq_client_id(seq_);
  announce_port_ = snd_seq_create_simple_port(
      seq_, "announce", SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_NO_EXPORT,
      SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
  if (announce_port_ < 0) {
    why = std::string("Cannot create port - ") + snd_strerror(announce_port_);
    return false;
  }
  if ((err = snd_seq_connect_from(seq_, announce_port_, SND_SEQ_CLIENT_SYSTEM,
                                  SND_SEQ_PORT_SYSTEM_ANNOUNCE)) < 0) {
    why = std::string("Cannot connect from System Announce - ") + snd_strerror(err);
    return false;
  }
  if ((err = snd_midi_event_new(16, &decoder_)) < 0) {
    why = std::string("Cannot create decoder - ") + snd_strerror(err);
    return false;
  }
  snd_midi_event_no_status(decoder_, 1);  // every message with its status byte
  const int count = snd_seq_poll_descriptors_count(seq_, POLLIN);
  std::vector<pollfd> fds(std::max(count, 0));
  fds.resize(std::max(snd_seq_poll_descriptors(seq_, fds.data(), fds.size(), POLLIN), 0));
  return thread_.Start(
      std::move(fds), [this] { Serve(); }, why);
}

AlsaMidiBackend::~AlsaMidiBackend() {
  thread_.Stop();
  if (decoder_) snd_midi_event_free(decoder_);
  if (seq_) snd_seq_close(seq_);
}

// ---- devices ----

// Every port of other clients that others may connect to, in (client, port) order.
std::vector<SeqDevice> AlsaMidiBackend::Scan() {
  std::vector<SeqDevice> devices;
  {
    std::lock_guard lock(seq_mutex_);
    snd_seq_client_info_t* client_info;
    snd_seq_port_info_t* port_info;
    snd_seq_client_info_alloca(&client_info);
    snd_seq_port_info_alloca(&port_info);
    snd_seq_client_info_set_client(client_info, -1);
    while (snd_seq_query_next_client(seq_, client_info) >= 0) {
      const int client = snd_seq_client_info_get_client(client_info);
      if (client == own_client_) continue;
      const std::string client_name = snd_seq_client_info_get_name(client_info);
      const int card = snd_seq_client_info_get_type(client_info) == SND_SEQ_KERNEL_CLIENT
                           ? snd_seq_client_info_get_card(client_info)
                           : -1;
      snd_seq_port_info_set_client(port_info, client);
      snd_seq_port_info_set_port(port_info, -1);
      while (snd_seq_query_next_port(seq_, port_info) >= 0) {
        const int port = snd_seq_port_info_get_port(port_info);
        if (client == SND_SEQ_CLIENT_SYSTEM &&
            (port == SND_SEQ_PORT_SYSTEM_TIMER || port == SND_SEQ_PORT_SYSTEM_ANNOUNCE)) {
          continue;
        }
        const unsigned caps = snd_seq_port_info_get_capability(port_info);
        if (caps & SND_SEQ_PORT_CAP_NO_EXPORT) continue;  // not for others to connect
        const std::string port_name = snd_seq_port_info_get_name(port_info);
        devices.push_back({client, port, client_name + ":" + port_name,
                           Technology(client_info, snd_seq_port_info_get_type(port_info)),
                           client_name, port_name, card < 0 ? -1 : card, caps});
      }
    }
  }
  std::sort(devices.begin(), devices.end(), [](const SeqDevice& a, const SeqDevice& b) {
    return std::tie(a.client, a.port) < std::tie(b.client, b.port);
  });
  return devices;
}

constexpr unsigned kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;

void AlsaMidiBackend::Refresh() {
  std::vector<SeqDevice> outputs;
  std::vector<SeqDevice> inputs;
  for (const SeqDevice& device : Scan()) {
    if ((device.caps & kWritable) == kWritable) outputs.push_back(device);
    if ((device.caps & kReadable) == kReadable) inputs.push_back(device);
  }
  std::lock_guard lock(devices_mutex_);
  outputs_ = std::move(outputs);
  inputs_ = std::move(inputs);
}

UINT AlsaMidiBackend::OutGetNumDevs() {
  Refresh();
  std::lock_guard lock(devices_mutex_);
  return static_cast<UINT>(outputs_.size());
}

UINT AlsaMidiBackend::InGetNumDevs() {
  Refresh();
  std::lock_guard lock(devices_mutex_);
  return static_cast<UINT>(inputs_.size());
}

// The mapper stands for the first output device.
bool AlsaMidiBackend::FindOutput(UINT device, SeqDevice& found) {
  std::lock_guard lock(devices_mutex_);
  const size_t index = device == MIDI_MAPPER ? 0 : device;
  if (index >= outputs_.size()) return false;
  found = outputs_[index];
  return true;
}

MMRESULT AlsaMidiBackend::OutGetDevCaps(UINT device, MIDIOUTCAPSA& caps) {
  SeqDevice found;
  if (!FindOutput(device, found)) return MMSYSERR_BADDEVICEID;
  caps = device == MIDI_MAPPER ? PortOutCaps("ALSA MIDI Mapper", MOD_MAPPER)
                               : PortOutCaps(found.name, found.technology);
  return MMSYSERR_NOERROR;
}

MMRESULT AlsaMidiBackend::InGetDevCaps(UINT device, MIDIINCAPSA& caps) {
  std::lock_guard lock(devices_mutex_);
  if (device >= inputs_.size()) return MMSYSERR_BADDEVICEID;
  caps = PortInCaps(inputs_[device].name);
  return MMSYSERR_NOERROR;
}

MidiDeviceInfo Info(const SeqDevice& device) {
  bool lasting;
  bool ready;
  return {device.name, Identity(device, lasting, ready), Address(device)};
}

MMRESULT AlsaMidiBackend::OutGetDevInfo(UINT device, MidiDeviceInfo& info) {
  SeqDevice found;
  if (device == MIDI_MAPPER || !FindOutput(device, found)) return MMSYSERR_BADDEVICEID;
  info = Info(found);
  return MMSYSERR_NOERROR;
}

MMRESULT AlsaMidiBackend::InGetDevInfo(UINT device, MidiDeviceInfo& info) {
  SeqDevice found;
  {
    std::lock_guard lock(devices_mutex_);
    if (device >= inputs_.size()) return MMSYSERR_BADDEVICEID;
    found = inputs_[device];
  }
  info = Info(found);
  return MMSYSERR_NOERROR;
}

// Under seq_mutex_. The port number, or a negative error.
int AlsaMidiBackend::CreatePort(const std::string& name, unsigned caps) {
  return snd_seq_create_simple_port(seq_, name.c_str(), caps,
                                    SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_APPLICATION);
}

// ---- output ----

MMRESULT AlsaMidiBackend::OutOpen(UINT device, MidiOutClient& client, std::unique_ptr<Port>& port) {
  SeqDevice target;
  if (!FindOutput(device, target)) return MMSYSERR_BADDEVICEID;
  auto out = std::make_shared<OutState>();
  out->client = &client;
  if (int err = snd_midi_event_new(kSysexPiece, &out->encoder); err < 0) {
    out->encoder = nullptr;
    return SndError("create encoder", err);
  }
  {
    std::lock_guard lock(seq_mutex_);
    const int own = CreatePort("midi_out_" + std::to_string(++ports_made_),
                               SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ);
    if (own < 0) return SndError("create port", own);
    if (int err = snd_seq_connect_to(seq_, own, target.client, target.port); err < 0) {
      snd_seq_delete_simple_port(seq_, own);
      return SndError("connect to " + target.name, err);
    }
    out->own_port = own;
  }
  out->target = target;
  out->target_client = target.client_name;
  out->target_port = target.port_name;
  bool ready;
  out->target_identity = Identity(target, out->identity_lasting, ready);
  thread_.Run([&] { outs_.push_back(out); });
  auto opened = std::make_unique<OutPort>();
  opened->state = std::move(out);
  port = std::move(opened);
  return MMSYSERR_NOERROR;
}

// Under out.send_mutex. One whole message, or one piece of a SysEx.
MMRESULT AlsaMidiBackend::Send(OutState& out, const BYTE* bytes, size_t count) {
  snd_seq_event_t event;
  snd_seq_ev_clear(&event);
  if (bytes[0] == 0xF0 || bytes[0] < 0x80 || bytes[0] == 0xF7) {
    snd_seq_ev_set_sysex(&event, count, const_cast<BYTE*>(bytes));
  } else {
    snd_midi_event_reset_encode(out.encoder);
    if (snd_midi_event_encode(out.encoder, bytes, static_cast<long>(count), &event) < 0 ||
        event.type == SND_SEQ_EVENT_NONE) {
      return MMSYSERR_NOERROR;  // undefined status bytes have no event to travel in
    }
  }
  // To the device's address, not to whoever subscribes: a port that is gone
  // then fails this very send, where the kernel would deliver to no one.
  if (out.gone) return MMSYSERR_NODRIVER;
  snd_seq_ev_set_source(&event, out.own_port);
  snd_seq_ev_set_dest(&event, out.target.client, out.target.port);
  snd_seq_ev_set_direct(&event);
  std::lock_guard lock(seq_mutex_);
  if (int err = snd_seq_event_output_direct(seq_, &event); err < 0) {
    if (err != -ENOENT) return SndError("send", err);
    out.gone = true;
    return MMSYSERR_NODRIVER;  // what Windows gives for a device that was unplugged
  }
  return MMSYSERR_NOERROR;
}

MMRESULT AlsaMidiBackend::OutShortMsg(Port& port, DWORD message) {
  OutState& out = *static_cast<OutPort&>(port).state;
  std::lock_guard lock(out.send_mutex);
  MMRESULT result = MMSYSERR_NOERROR;
  out.stream.Short(message, [&](const BYTE* bytes, size_t count) {
    if (!result) result = Send(out, bytes, count);
  });
  return result;
}

MMRESULT AlsaMidiBackend::OutLongMsg(Port& port, MIDIHDR& header) {
  const std::shared_ptr<OutState>& out = static_cast<OutPort&>(port).state;
  {
    std::lock_guard lock(out->send_mutex);
    MMRESULT result = MMSYSERR_NOERROR;
    out->stream.Long(reinterpret_cast<const BYTE*>(header.lpData), header.dwBufferLength,
                     [&](const BYTE* bytes, size_t count) {
                       if (!result) result = Send(*out, bytes, count);
                     });
    if (result) return result;
  }
  {
    std::lock_guard lock(out->done_mutex);
    out->done.push_back(&header);
  }
  thread_.Post([this, out] { DeliverDone(*out); });
  return MMSYSERR_NOERROR;
}

// Backend thread.
void AlsaMidiBackend::DeliverDone(OutState& out) {
  std::deque<MIDIHDR*> done;
  {
    std::lock_guard lock(out.done_mutex);
    if (out.closed) return;
    done.swap(out.done);
  }
  for (MIDIHDR* header : done) out.client->Done(header);
}

MMRESULT AlsaMidiBackend::OutClose(Port& port) {
  const std::shared_ptr<OutState>& out = static_cast<OutPort&>(port).state;
  thread_.Run([&] {
    DeliverDone(*out);
    outs_.erase(std::remove(outs_.begin(), outs_.end(), out), outs_.end());
    std::lock_guard lock(out->done_mutex);
    out->closed = true;
  });
  std::lock_guard lock(seq_mutex_);
  if (int err = snd_seq_delete_simple_port(seq_, out->own_port); err < 0) {
    return SndError("delete port", err);
  }
  return MMSYSERR_NOERROR;
}

// ---- input ----

MMRESULT AlsaMidiBackend::InOpen(UINT device, MidiInClient& client, std::unique_ptr<Port>& port) {
  SeqDevice source;
  {
    std::lock_guard lock(devices_mutex_);
    if (device >= inputs_.size()) return MMSYSERR_BADDEVICEID;
    source = inputs_[device];
  }
  auto in = std::make_shared<InState>(client);
  {
    std::lock_guard lock(seq_mutex_);
    const int own = CreatePort("midi_in_" + std::to_string(++ports_made_),
                               SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE);
    if (own < 0) return SndError("create port", own);
    if (int err = snd_seq_connect_from(seq_, own, source.client, source.port); err < 0) {
      snd_seq_delete_simple_port(seq_, own);
      return SndError("connect from " + source.name, err);
    }
    in->own_port = own;
  }
  thread_.Run([&] { inputs_by_port_[in->own_port] = in; });
  auto opened = std::make_unique<InPort>();
  opened->state = std::move(in);
  port = std::move(opened);
  return MMSYSERR_NOERROR;
}

MMRESULT AlsaMidiBackend::InClose(Port& port) {
  const std::shared_ptr<InState>& in = static_cast<InPort&>(port).state;
  MMRESULT result = MMSYSERR_NOERROR;
  thread_.Run([&] {
    if (in->stream.Buffers() > 0) {
      result = MIDIERR_STILLPLAYING;
      return;
    }
    inputs_by_port_.erase(in->own_port);
    in->stream.Detach();
  });
  if (result) return result;
  std::lock_guard lock(seq_mutex_);
  if (int err = snd_seq_delete_simple_port(seq_, in->own_port); err < 0) {
    return SndError("delete port", err);
  }
  return MMSYSERR_NOERROR;
}

MMRESULT AlsaMidiBackend::InAddBuffer(Port& port, MIDIHDR& header) {
  InState& in = *static_cast<InPort&>(port).state;
  thread_.Run([&] { in.stream.AddBuffer(&header); });
  return MMSYSERR_NOERROR;
}

MMRESULT AlsaMidiBackend::InStart(Port& port) {
  InState& in = *static_cast<InPort&>(port).state;
  thread_.Run([&] {
    if (in.started) return;
    in.started = true;
    in.start = Clock::now();
  });
  return MMSYSERR_NOERROR;
}

MMRESULT AlsaMidiBackend::InStop(Port& port) {
  InState& in = *static_cast<InPort&>(port).state;
  thread_.Run([&] {
    if (in.started) in.stream.Stop(Stamp(in, Clock::now()));
    in.started = false;
  });
  return MMSYSERR_NOERROR;
}

MMRESULT AlsaMidiBackend::InReset(Port& port) {
  InState& in = *static_cast<InPort&>(port).state;
  thread_.Run([&] {
    in.stream.Reset(in.started ? Stamp(in, Clock::now()) : 0);
    in.started = false;
  });
  return MMSYSERR_NOERROR;
}

// Backend thread: everything the sequencer holds for us, then the callbacks,
// outside the lock.
void AlsaMidiBackend::Serve() {
  std::vector<Received> received;
  std::vector<Announced> announced;
  {
    std::lock_guard lock(seq_mutex_);
    for (;;) {
      snd_seq_event_t* event = nullptr;
      const int err = snd_seq_event_input(seq_, &event);
      if (err == -ENOSPC) continue;  // our queue overran and events were lost; read on
      if (err < 0) break;            // -EAGAIN: nothing more
      if (event && event->dest.port == announce_port_) {
        Announced news{event->type, {}, {}};
        if (event->type == SND_SEQ_EVENT_PORT_UNSUBSCRIBED) {
          news.connect = event->data.connect;
        } else {
          news.addr = event->data.addr;
        }
        announced.push_back(news);
        continue;
      }
      if (!event || !inputs_by_port_.count(event->dest.port)) continue;
      Received item{event->dest.port, {}};
      if (event->type == SND_SEQ_EVENT_SYSEX) {
        const auto* data = static_cast<const BYTE*>(event->data.ext.ptr);
        item.bytes.assign(data, data + event->data.ext.len);
      } else {
        BYTE bytes[16];
        const long count = snd_midi_event_decode(decoder_, bytes, sizeof bytes, event);
        if (count <= 0) continue;  // not MIDI: announcements and the like
        item.bytes.assign(bytes, bytes + count);
      }
      received.push_back(std::move(item));
    }
  }
  for (const Announced& news : announced) Announce(news);
  RetryUnready();
  const Clock::time_point now = Clock::now();
  for (const Received& item : received) {
    auto found = inputs_by_port_.find(item.port);
    if (found == inputs_by_port_.end()) continue;  // closed by an earlier callback
    const std::shared_ptr<InState> in = found->second;
    if (!in->started) continue;
    in->stream.Receive(item.bytes.data(), item.bytes.size(), Stamp(*in, now));
  }
}

// Backend thread, outside seq_mutex_. A device that goes (its port or client
// ends, or our connection to it is broken) fails every later send; one that
// comes back under the same client and port names is connected to again.
void AlsaMidiBackend::Announce(const Announced& news) {
  // Our own ports are in no list, and connections change none.
  if (news.type != SND_SEQ_EVENT_PORT_SUBSCRIBED && news.type != SND_SEQ_EVENT_PORT_UNSUBSCRIBED &&
      news.addr.client != own_client_)
    generation_.fetch_add(1);
  for (const std::shared_ptr<OutState>& out : outs_) {
    std::lock_guard lock(out->send_mutex);
    const SeqDevice& target = out->target;
    switch (news.type) {
      case SND_SEQ_EVENT_CLIENT_EXIT:
        if (news.addr.client == target.client) out->gone = true;
        break;
      case SND_SEQ_EVENT_PORT_EXIT:
        if (news.addr.client == target.client && news.addr.port == target.port) out->gone = true;
        break;
      case SND_SEQ_EVENT_PORT_UNSUBSCRIBED:
        if (news.connect.sender.client == own_client_ && news.connect.sender.port == out->own_port &&
            news.connect.dest.client == target.client && news.connect.dest.port == target.port) {
          out->gone = true;
        }
        break;
      case SND_SEQ_EVENT_PORT_START:
      case SND_SEQ_EVENT_PORT_CHANGE:
        if (out->gone) Reconnect(*out, news.addr);
        break;
      default:
        break;
    }
  }
}

// Under out.send_mutex. A port that came while the device was gone is the
// device back when it has the device's identity; when that identity says
// nothing lasting (no USB serial or path), when it has the device's names and
// no other port has them, so that a second identical unit never takes over.
void AlsaMidiBackend::Reconnect(OutState& out, const snd_seq_addr_t& addr) {
  const std::vector<SeqDevice> devices = Scan();
  const auto came = std::find_if(devices.begin(), devices.end(), [&](const SeqDevice& device) {
    return device.client == addr.client && device.port == addr.port;
  });
  if (came == devices.end() || (came->caps & kWritable) != kWritable) return;
  if (out.identity_lasting) {
    bool lasting;
    bool ready;
    const std::string identity = Identity(*came, lasting, ready);
    if (!ready) {
      if (out.unready.empty()) out.unready_until = Clock::now() + std::chrono::seconds(5);
      out.unready.push_back(addr);
      return;
    }
    if (identity != out.target_identity) return;
    // Two units may carry one serial number: then neither is known to be it.
    const auto same = [&](const SeqDevice& device) {
      bool device_lasting;
      bool device_ready;
      return device.card >= 0 && (device.caps & kWritable) == kWritable &&
             Identity(device, device_lasting, device_ready) == identity;
    };
    if (std::count_if(devices.begin(), devices.end(), same) != 1) return;
  } else {
    const auto named = [&](const SeqDevice& device) {
      return device.client_name == out.target_client && device.port_name == out.target_port;
    };
    if (!named(*came) || std::count_if(devices.begin(), devices.end(), named) != 1) return;
  }
  std::lock_guard lock(seq_mutex_);
  const int err = snd_seq_connect_to(seq_, out.own_port, addr.client, addr.port);
  if (err < 0 && err != -EBUSY) return;  // -EBUSY: still connected
  out.target.client = addr.client;
  out.target.port = addr.port;
  out.gone = false;
}

// Backend thread. Asks the cards that were not ready again, for a while.
void AlsaMidiBackend::RetryUnready() {
  bool waiting = false;
  for (const std::shared_ptr<OutState>& out : outs_) {
    std::lock_guard lock(out->send_mutex);
    if (out->unready.empty()) continue;
    std::vector<snd_seq_addr_t> unready;
    unready.swap(out->unready);
    if (!out->gone || Clock::now() > out->unready_until) continue;
    const Clock::time_point until = out->unready_until;
    for (const snd_seq_addr_t& addr : unready) {
      if (out->gone) Reconnect(*out, addr);
    }
    out->unready_until = until;
    if (!out->gone) out->unready.clear();
    waiting |= !out->unready.empty();
  }
  if (waiting) thread_.ServeAfter(std::chrono::milliseconds(50));
}

}  // namespace

std::unique_ptr<MidiBackend> OpenAlsaMidiBackend(std::string& why) {
  auto backend = std::make_unique<AlsaMidiBackend>();
  if (!backend->Open(why)) return nullptr;
  return backend;
}

std::string AlsaCardIdentity(std::string_view serial, std::string_view longname,
                             std::string_view id, bool& lasting) {
  lasting = true;
  if (!serial.empty()) return "usb-serial:" + std::string(serial);
  // snd-usb-audio ends the long name with " at <USB path>, <speed> speed".
  const size_t at = longname.rfind(" at usb-");
  if (at != std::string_view::npos) {
    const std::string_view path = longname.substr(at + 4);
    return std::string(path.substr(0, path.find(',')));
  }
  lasting = false;
  return "card:" + std::string(id);
}
