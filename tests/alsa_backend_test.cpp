// The ALSA sequencer backend against the kernel's sequencer, with sequencer
// clients of the test's own as peers, and the whole editor against snd-virmidi,
// read back raw from its rawmidi device. ./test.sh runs these inside a VM with
// Debian's kernel (tests/vm/run-in-vm), where a missing sequencer or missing
// VirMIDI ports fail; elsewhere, without /dev/snd/seq, they skip and say so.

#include "midi/platform/alsa_backend.h"

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <QTest>

#include <algorithm>
#include <numeric>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <type_traits>
#include <vector>

#include <QFile>
#include <QTemporaryDir>
#include <sstream>

#include "app/form1.h"
#include "cli/tool.h"
#include "midi/midi_output.h"
#include "midi/platform/backend_choice.h"
#include "midi/platform/device_info.h"
#include "midi/platform/midi_backend.h"
#include "midi/platform/mmsystem.h"
#include "protocol/parameter_message.h"
#include "support/editor_fixture.h"
#include "support/raw_midi_reader.h"
#include "support/test_support.h"
#include "table/form2.h"
#include "table/form3.h"
#include "ui/dialogs.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Hex;

constexpr auto kLimit = 10s;

// Inside the test VM (its init sets this) nothing may be skipped.
bool InTestVm() { return getenv("TQX_IN_VM") != nullptr; }

#define SKIP_OUTSIDE_VM(why)      \
  do {                            \
    if (InTestVm()) FAIL() << why; \
    GTEST_SKIP() << why;          \
  } while (0)

// The kernel clients of the VM, as aconnect -l shows them there: "Midi Through"
// is client 14 on no card; snd-virmidi's clients 16..19 are on card 0. Both
// have port type MIDI_GENERIC | SOFTWARE | PORT. The device lists cut their
// names ("Midi Through:Midi Through Port-0") to 31 characters.
const std::string kMidiThrough = "Midi Through:Midi Through Port-";
const std::string kVirMidi0 = "Virtual Raw MIDI 0-0:VirMIDI 0-0";
const char* const kVirMidi0Raw = "/dev/snd/midiC0D0";  // hw:0,0

// A sequencer client of the test's own at the far end of the editor's ports.
class AlsaPeer {
 public:
  explicit AlsaPeer(std::string name) : name_(std::move(name)) {
    if (snd_seq_open(&seq_, "default", SND_SEQ_OPEN_DUPLEX, SND_SEQ_NONBLOCK) < 0) {
      seq_ = nullptr;
      return;
    }
    snd_seq_set_client_name(seq_, name_.c_str());
    snd_midi_event_new(256, &codec_);
    snd_midi_event_no_status(codec_, 1);
  }
  ~AlsaPeer() {
    if (codec_) snd_midi_event_free(codec_);
    if (seq_) snd_seq_close(seq_);
  }

  bool Ready() const { return seq_ && codec_; }
  int Client() const { return snd_seq_client_id(seq_); }
  // As the device lists name it.
  std::string Name(const std::string& port) const { return name_ + ":" + port; }

  int AddPort(const std::string& port, unsigned caps, unsigned type) {
    return snd_seq_create_simple_port(seq_, port.c_str(), caps, type);
  }
  // As a program that ends, or a cable that is pulled: the kernel removes the
  // port and its connections and announces both.
  bool DeletePort(int port) { return snd_seq_delete_simple_port(seq_, port) >= 0; }
  // As a patchbay does when the user breaks the connections into port.
  int DropConnectionsInto(int port) {
    snd_seq_query_subscribe_t* query;
    snd_seq_query_subscribe_alloca(&query);
    snd_seq_addr_t root{static_cast<unsigned char>(Client()), static_cast<unsigned char>(port)};
    snd_seq_query_subscribe_set_root(query, &root);
    snd_seq_query_subscribe_set_type(query, SND_SEQ_QUERY_SUBS_WRITE);
    snd_seq_query_subscribe_set_index(query, 0);
    std::vector<snd_seq_addr_t> senders;
    while (snd_seq_query_port_subscribers(seq_, query) >= 0) {
      senders.push_back(*snd_seq_query_subscribe_get_addr(query));
      snd_seq_query_subscribe_set_index(query, snd_seq_query_subscribe_get_index(query) + 1);
    }
    int dropped = 0;
    for (const snd_seq_addr_t& sender : senders) {
      if (snd_seq_disconnect_from(seq_, port, sender.client, sender.port) >= 0) ++dropped;
    }
    return dropped;
  }

  // The bytes of the next event that reaches any of our ports.
  std::optional<std::vector<uint8_t>> Next(std::chrono::milliseconds limit = kLimit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
      snd_seq_event_t* event = nullptr;
      if (snd_seq_event_input(seq_, &event) >= 0 && event) {
        if (event->type == SND_SEQ_EVENT_SYSEX) {
          const auto* data = static_cast<const uint8_t*>(event->data.ext.ptr);
          return std::vector<uint8_t>(data, data + event->data.ext.len);
        }
        unsigned char bytes[16];
        const long count = snd_midi_event_decode(codec_, bytes, sizeof bytes, event);
        if (count > 0) return std::vector<uint8_t>(bytes, bytes + count);
        continue;  // subscription notices and the like
      }
      if (std::chrono::steady_clock::now() > deadline) return std::nullopt;
      std::this_thread::sleep_for(1ms);
    }
  }

  // One message to whoever is connected to port.
  bool Send(int port, const std::vector<uint8_t>& bytes) {
    snd_seq_event_t event;
    snd_seq_ev_clear(&event);
    snd_midi_event_reset_encode(codec_);
    if (snd_midi_event_encode(codec_, bytes.data(), static_cast<long>(bytes.size()), &event) !=
            static_cast<long>(bytes.size()) ||
        event.type == SND_SEQ_EVENT_NONE) {
      return false;
    }
    snd_seq_ev_set_source(&event, port);
    snd_seq_ev_set_subs(&event);
    snd_seq_ev_set_direct(&event);
    return snd_seq_event_output_direct(seq_, &event) >= 0;
  }

 private:
  std::string name_;
  snd_seq_t* seq_ = nullptr;
  snd_midi_event_t* codec_ = nullptr;
};

constexpr unsigned kWritable = SND_SEQ_PORT_CAP_WRITE | SND_SEQ_PORT_CAP_SUBS_WRITE;
constexpr unsigned kReadable = SND_SEQ_PORT_CAP_READ | SND_SEQ_PORT_CAP_SUBS_READ;
// The type a USB interface's port has; a program may claim it too.
constexpr unsigned kHardwarePort =
    SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_HARDWARE | SND_SEQ_PORT_TYPE_PORT;

std::string PeerName(const char* suffix) { return "tqx-peer-" + std::to_string(getpid()) + suffix; }

class Callbacks {
 public:
  struct Call {
    UINT message;
    DWORD_PTR param1;
    DWORD_PTR param2;
    std::vector<uint8_t> bytes;
  };

  static void Receive(HDRVR, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) {
    auto& self = *reinterpret_cast<Callbacks*>(instance);
    Call call{message, param1, param2, {}};
    if (message == MIM_LONGDATA || message == MIM_LONGERROR) {
      const auto* header = reinterpret_cast<const MIDIHDR*>(param1);
      call.bytes.assign(header->lpData, header->lpData + header->dwBytesRecorded);
    }
    std::lock_guard lock(self.mutex_);
    self.calls_.push_back(std::move(call));
    self.changed_.notify_all();
  }

  static DWORD_PTR Function() { return reinterpret_cast<DWORD_PTR>(&Receive); }
  DWORD_PTR Instance() { return reinterpret_cast<DWORD_PTR>(this); }

  std::vector<Call> WaitFor(UINT message, size_t count) {
    std::unique_lock lock(mutex_);
    std::vector<Call> found;
    changed_.wait_for(lock, kLimit, [&] {
      found.clear();
      for (const Call& call : calls_) {
        if (call.message == message) found.push_back(call);
      }
      return found.size() >= count;
    });
    return found;
  }

  std::vector<Call> Of(UINT message) { return WaitFor(message, 0); }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<Call> calls_;
};

struct Header {
  explicit Header(std::vector<uint8_t> bytes) : data(std::move(bytes)) {
    header.lpData = reinterpret_cast<LPSTR>(data.data());
    header.dwBufferLength = static_cast<DWORD>(data.size());
  }
  std::vector<uint8_t> data;
  MIDIHDR header{};
};

struct Device {
  std::string name;
  WORD technology;
};

std::vector<Device> Outputs() {
  std::vector<Device> devices;
  for (UINT device = 0; device < midiOutGetNumDevs(); ++device) {
    MIDIOUTCAPSA caps{};
    if (midiOutGetDevCapsA(device, &caps, sizeof caps) == MMSYSERR_NOERROR) {
      devices.push_back({caps.szPname, caps.wTechnology});
    }
  }
  return devices;
}

std::vector<std::string> InputNames() {
  std::vector<std::string> names;
  for (UINT device = 0; device < midiInGetNumDevs(); ++device) {
    MIDIINCAPSA caps{};
    if (midiInGetDevCapsA(device, &caps, sizeof caps) == MMSYSERR_NOERROR) {
      names.emplace_back(caps.szPname);
    }
  }
  return names;
}

template <class List, class Name>
int IndexOf(const List& list, const Name& name) {
  for (size_t i = 0; i < list.size(); ++i) {
    if constexpr (std::is_same_v<typename List::value_type, Device>) {
      if (list[i].name == name) return static_cast<int>(i);
    } else {
      if (list[i] == name) return static_cast<int>(i);
    }
  }
  return -1;
}

// The backend on the machine's sequencer, and one peer client with an output
// device ("capture") and an input device ("playback").
class AlsaBackendTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    std::unique_ptr<MidiBackend> backend = OpenAlsaMidiBackend(why);
    if (!backend && access("/dev/snd/seq", F_OK) != 0) {
      SKIP_OUTSIDE_VM("no ALSA sequencer on this machine (" << why << ")");
    }
    ASSERT_TRUE(backend) << why;
    SetMidiBackend(std::move(backend));
    peer_ = std::make_unique<AlsaPeer>(PeerName(""));
    ASSERT_TRUE(peer_->Ready());
    capture_ = peer_->AddPort("capture", kWritable, kHardwarePort);
    playback_ = peer_->AddPort("playback", kReadable, kHardwarePort);
    ASSERT_GE(capture_, 0);
    ASSERT_GE(playback_, 0);
  }

  void TearDown() override {
    SetMidiBackend(nullptr);
    peer_.reset();
  }

  UINT OutputDevice(const std::string& port) {
    return static_cast<UINT>(IndexOf(Outputs(), peer_->Name(port)));
  }
  UINT InputDevice(const std::string& port) {
    return static_cast<UINT>(IndexOf(InputNames(), peer_->Name(port)));
  }

  // Headers outlive TearDown, which closes what a failed test left open and
  // so may still hand headers back.
  MIDIHDR& NewHeader(std::vector<uint8_t> bytes) {
    return headers_.emplace_back(std::move(bytes)).header;
  }

  std::unique_ptr<AlsaPeer> peer_;
  int capture_ = -1;
  int playback_ = -1;
  Callbacks callbacks_;  // outlives TearDown too
  std::deque<Header> headers_;
};

TEST_F(AlsaBackendTest, OnlyPortsOnASoundCardAreMidiPortsAndAllAreListedInClientPortOrder) {
  AlsaPeer later(PeerName("-later"));
  ASSERT_TRUE(later.Ready());
  ASSERT_GE(later.AddPort("capture", kWritable, kHardwarePort), 0);
  const unsigned synth_type = SND_SEQ_PORT_TYPE_MIDI_GENERIC | SND_SEQ_PORT_TYPE_SYNTHESIZER |
                              SND_SEQ_PORT_TYPE_APPLICATION;
  ASSERT_GE(peer_->AddPort("synth", kWritable, synth_type), 0);
  ASSERT_GE(peer_->AddPort("hidden", kWritable | SND_SEQ_PORT_CAP_NO_EXPORT, kHardwarePort), 0);
  const std::string long_port = "a port name far too long for the record";
  ASSERT_GE(peer_->AddPort(long_port, kWritable, kHardwarePort), 0);
  // An open port of ours exists now, and must not be listed.
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice("capture"), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);

  const std::vector<Device> outputs = Outputs();
  const std::vector<std::string> inputs = InputNames();
  const int through = IndexOf(outputs, kMidiThrough);
  const int virmidi = IndexOf(outputs, kVirMidi0.substr(0, MAXPNAMELEN - 1));  // caps: cut
  if (through < 0 || virmidi < 0) SKIP_OUTSIDE_VM("no snd-seq-dummy and snd-virmidi here");
  const int capture = IndexOf(outputs, peer_->Name("capture"));
  const int synth = IndexOf(outputs, peer_->Name("synth"));
  const int later_capture = IndexOf(outputs, later.Name("capture"));
  ASSERT_GE(capture, 0);
  ASSERT_GE(synth, 0);
  ASSERT_GE(later_capture, 0);
  EXPECT_LT(through, virmidi) << "clients in client order: 14 before 16";
  EXPECT_LT(virmidi, capture) << "kernel clients before programs";
  EXPECT_LT(capture, synth) << "ports of one client in port order";
  EXPECT_EQ(peer_->Client() < later.Client(), synth < later_capture) << "clients in client order";
  EXPECT_EQ(outputs[virmidi].technology, MOD_MIDIPORT) << "a kernel client on a card";
  EXPECT_EQ(outputs[through].technology, MOD_SWSYNTH) << "a kernel client on no card";
  EXPECT_EQ(outputs[capture].technology, MOD_SWSYNTH) << "a program, whatever type bits it claims";
  EXPECT_EQ(outputs[synth].technology, MOD_SWSYNTH);
  for (const Device& device : outputs) {
    if (device.technology == MOD_MIDIPORT) {
      EXPECT_EQ(device.name.rfind("Virtual Raw MIDI ", 0), 0u) << "only VirMIDI here: " << device.name;
    }
  }
  EXPECT_EQ(IndexOf(outputs, peer_->Name("hidden")), -1);
  EXPECT_EQ(IndexOf(outputs, peer_->Name("playback")), -1);
  EXPECT_GE(IndexOf(inputs, peer_->Name("playback")), 0);
  EXPECT_EQ(IndexOf(inputs, peer_->Name("capture")), -1);
  EXPECT_EQ(IndexOf(outputs, peer_->Name(long_port).substr(0, MAXPNAMELEN - 1)), synth + 1)
      << "names are cut to 31 characters";
  for (const Device& device : outputs) {
    EXPECT_NE(device.name.rfind(kAlsaClientName, 0), 0u) << device.name;
    EXPECT_NE(device.name, "System:Timer");
  }
  for (const std::string& name : inputs) {
    EXPECT_NE(name.rfind(kAlsaClientName, 0), 0u) << name;
    EXPECT_NE(name, "System:Announce");
  }
  MIDIOUTCAPSA mapper{};
  ASSERT_EQ(midiOutGetDevCapsA(MIDI_MAPPER, &mapper, sizeof mapper), MMSYSERR_NOERROR);
  EXPECT_EQ(mapper.wTechnology, MOD_MAPPER);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(AlsaBackendTest, ParameterMessageControlChangeAndClockArriveByteExact) {
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice("capture"), callbacks_.Function(), callbacks_.Instance(),
                        CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  MIDIHDR& parameter = NewHeader({0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7});
  MIDIHDR& clock = NewHeader({0xF8});
  ASSERT_EQ(midiOutPrepareHeader(out, &parameter, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutPrepareHeader(out, &clock, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

  ASSERT_EQ(midiOutLongMsg(out, &parameter, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutShortMsg(out, 0x006407B0), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutLongMsg(out, &clock, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

  EXPECT_EQ(Hex(peer_->Next().value_or(std::vector<uint8_t>{})), "F0 70 7B 00 29 05 0A F7");
  EXPECT_EQ(Hex(peer_->Next().value_or(std::vector<uint8_t>{})), "B0 07 64");
  EXPECT_EQ(Hex(peer_->Next().value_or(std::vector<uint8_t>{})), "F8");

  ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  const std::vector<Callbacks::Call> done = callbacks_.Of(MOM_DONE);
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].param1, reinterpret_cast<DWORD_PTR>(&parameter));
  EXPECT_EQ(done[1].param1, reinterpret_cast<DWORD_PTR>(&clock));
  EXPECT_FALSE(peer_->Next(50ms)) << "nothing more was sent";
}

std::string ErrorText(MMRESULT result) {
  char text[MAXERRORLENGTH] = {};
  midiOutGetErrorTextA(result, text, sizeof text);
  return text;
}

// Sends until the backend has found the port again, or the limit.
MMRESULT SendWhenBack(HMIDIOUT out, DWORD message) {
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  MMRESULT result;
  while ((result = midiOutShortMsg(out, message)) != MMSYSERR_NOERROR &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  return result;
}

// The lists change with other clients' ports, never with the ones we open.
TEST_F(AlsaBackendTest, OpeningOurOwnPortsLeavesTheDeviceListsAsTheyAre) {
  const unsigned long before = testing_support::SettledDeviceGeneration();
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice("capture"), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  std::this_thread::sleep_for(100ms);  // the announcements
  EXPECT_EQ(CurrentMidiBackend().DeviceGeneration(), before);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  ASSERT_GE(peer_->AddPort("other", kWritable, kHardwarePort), 0);
  const auto deadline = std::chrono::steady_clock::now() + 5s;
  while (CurrentMidiBackend().DeviceGeneration() == before && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  EXPECT_NE(CurrentMidiBackend().DeviceGeneration(), before);
}

TEST_F(AlsaBackendTest, AVanishedPortFailsEverySendAndComesBackUnderItsName) {
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice("capture"), callbacks_.Function(), callbacks_.Instance(),
                        CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutShortMsg(out, 0x006407B0), MMSYSERR_NOERROR);
  EXPECT_EQ(Hex(peer_->Next().value_or(std::vector<uint8_t>{})), "B0 07 64");

  ASSERT_TRUE(peer_->DeletePort(capture_));
  EXPECT_EQ(midiOutShortMsg(out, 0x006507B0), MMSYSERR_NODRIVER) << "the very next send";
  MIDIHDR& parameter = NewHeader({0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7});
  ASSERT_EQ(midiOutPrepareHeader(out, &parameter, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutLongMsg(out, &parameter, sizeof(MIDIHDR)), MMSYSERR_NODRIVER);
  EXPECT_EQ(ErrorText(MMSYSERR_NODRIVER), "There is no driver installed on your system.");
  EXPECT_TRUE(callbacks_.Of(MOM_DONE).empty()) << "no done notice for what was not sent";

  capture_ = peer_->AddPort("capture", kWritable, kHardwarePort);  // plugged in again
  ASSERT_GE(capture_, 0);
  ASSERT_EQ(SendWhenBack(out, 0x006607B0), MMSYSERR_NOERROR);
  EXPECT_EQ(Hex(peer_->Next().value_or(std::vector<uint8_t>{})), "B0 07 66");
  EXPECT_EQ(midiOutLongMsg(out, &parameter, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  EXPECT_EQ(Hex(peer_->Next().value_or(std::vector<uint8_t>{})), "F0 70 7B 00 29 05 0A F7");
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(AlsaBackendTest, ABrokenConnectionFailsTheSendsUntilThePortComesBack) {
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice("capture"), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(peer_->DropConnectionsInto(capture_), 1);
  // The announcement reaches the backend's thread a moment later.
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  MMRESULT result = MMSYSERR_NOERROR;
  while ((result = midiOutShortMsg(out, 0x006407B0)) == MMSYSERR_NOERROR &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(result, MMSYSERR_NODRIVER);
  while (peer_->Next(50ms)) {
  }  // what went out before the announcement came
  EXPECT_EQ(midiOutShortMsg(out, 0x006407B0), MMSYSERR_NODRIVER);
  EXPECT_FALSE(peer_->Next(50ms));
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

std::vector<MidiDeviceInfo> OutputInfos() {
  std::vector<MidiDeviceInfo> infos;
  for (UINT device = 0; device < midiOutGetNumDevs(); ++device) {
    MidiDeviceInfo info;
    if (midiOutGetDevInfo(device, info) == MMSYSERR_NOERROR) infos.push_back(info);
  }
  return infos;
}

const MidiDeviceInfo* Named(const std::vector<MidiDeviceInfo>& infos, const std::string& name) {
  for (const MidiDeviceInfo& info : infos) {
    if (info.name == name) return &info;
  }
  return nullptr;
}

// Each device's whole name, its address as aconnect prints it, and who it is:
// for a port on a card, the card's identity (here its id: snd-virmidi has no
// USB serial or path), the client's place on the card and the port.
TEST_F(AlsaBackendTest, EveryDeviceHasItsWholeNameItsAddressAndAnIdentityOfItsOwn) {
  const std::string long_port = "a port name far too long for the record";
  ASSERT_GE(peer_->AddPort(long_port, kWritable, kHardwarePort), 0);
  const std::vector<MidiDeviceInfo> infos = OutputInfos();
  const MidiDeviceInfo* through = Named(infos, "Midi Through:Midi Through Port-0");
  const MidiDeviceInfo* virmidi0 = Named(infos, "Virtual Raw MIDI 0-0:VirMIDI 0-0");
  const MidiDeviceInfo* virmidi1 = Named(infos, "Virtual Raw MIDI 0-1:VirMIDI 0-1");
  if (!through || !virmidi0 || !virmidi1) SKIP_OUTSIDE_VM("no snd-seq-dummy and snd-virmidi here");
  const MidiDeviceInfo* peer = Named(infos, peer_->Name(long_port));
  ASSERT_NE(peer, nullptr) << "whole, not cut to 31 characters";
  EXPECT_EQ(through->address, "14:0");
  EXPECT_EQ(through->identity, "14:0") << "on no card";
  EXPECT_EQ(virmidi0->address, "16:0");
  EXPECT_EQ(virmidi0->identity, "card:VirMIDI/0:0");
  EXPECT_EQ(virmidi1->address, "17:0");
  EXPECT_EQ(virmidi1->identity, "card:VirMIDI/1:0");
  const std::string address = std::to_string(peer_->Client()) + ":2";
  EXPECT_EQ(peer->address, address);
  EXPECT_EQ(peer->identity, address);
  MidiDeviceInfo input;
  ASSERT_EQ(midiInGetDevInfo(InputDevice("playback"), input), MMSYSERR_NOERROR);
  EXPECT_EQ(input.name, peer_->Name("playback"));
  EXPECT_EQ(input.address, std::to_string(peer_->Client()) + ":1");
}

// Two programs' ports under one name cannot be told apart: a port that comes
// back under the name of the one that went, while the other is still there,
// might be either, and the port stays unconnected.
TEST_F(AlsaBackendTest, APortComingBackUnderANameTwoPortsNowShareIsNotTakenForTheOneThatWent) {
  AlsaPeer twin(PeerName(""));  // the same client name
  ASSERT_TRUE(twin.Ready());
  ASSERT_GE(twin.AddPort("capture", kWritable, kHardwarePort), 0);
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice("capture"), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_TRUE(peer_->DeletePort(capture_));
  EXPECT_EQ(midiOutShortMsg(out, 0x006407B0), MMSYSERR_NODRIVER);
  const unsigned long before = testing_support::SettledDeviceGeneration();
  capture_ = peer_->AddPort("capture", kWritable, kHardwarePort);
  ASSERT_GE(capture_, 0);
  // Its announcement has been dealt with once a later port's has.
  ASSERT_GE(peer_->AddPort("marker", kWritable, kHardwarePort), 0);
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  while (CurrentMidiBackend().DeviceGeneration() < before + 2 && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(10ms);
  EXPECT_EQ(midiOutShortMsg(out, 0x006507B0), MMSYSERR_NODRIVER);
  EXPECT_FALSE(peer_->Next(50ms));
  EXPECT_FALSE(twin.Next(50ms));
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(AlsaBackendTest, NoteOnAndSysexFromThePeerComeBackThroughTheCallbacks) {
  HMIDIIN in = nullptr;
  ASSERT_EQ(midiInOpen(&in, InputDevice("playback"), callbacks_.Function(), callbacks_.Instance(),
                       CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  MIDIHDR& first = NewHeader(std::vector<uint8_t>(64));
  MIDIHDR& second = NewHeader(std::vector<uint8_t>(64));
  for (MIDIHDR* buffer : {&first, &second}) {
    ASSERT_EQ(midiInPrepareHeader(in, buffer, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in, buffer, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  }
  const auto before_start = std::chrono::steady_clock::now();
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);

  ASSERT_TRUE(peer_->Send(playback_, {0x90, 0x3C, 0x64}));
  ASSERT_TRUE(peer_->Send(playback_, {0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7}));

  const std::vector<Callbacks::Call> data = callbacks_.WaitFor(MIM_DATA, 1);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0].param1, 0x00643C90u);
  const std::vector<Callbacks::Call> sysex = callbacks_.WaitFor(MIM_LONGDATA, 1);
  ASSERT_EQ(sysex.size(), 1u);
  EXPECT_EQ(Hex(sysex[0].bytes), "F0 70 7B 00 29 05 0A F7");
  // Milliseconds since the start, not since some other origin.
  const auto since = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - before_start);
  EXPECT_LE(sysex[0].param2, static_cast<DWORD_PTR>(since.count()));

  EXPECT_EQ(midiInClose(in), MIDIERR_STILLPLAYING);
  ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
  const std::vector<Callbacks::Call> returned = callbacks_.Of(MIM_LONGDATA);
  ASSERT_EQ(returned.size(), 2u) << "reset returns before the buffer is back";
  EXPECT_EQ(returned[1].param1, reinterpret_cast<DWORD_PTR>(&second));
  EXPECT_TRUE(returned[1].bytes.empty());
  for (MIDIHDR* buffer : {&first, &second}) {
    EXPECT_EQ(midiInUnprepareHeader(in, buffer, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

using testing_support::RawMidiReader;

std::vector<std::string> Texts(const std::vector<RawMidiReader::Message>& messages, size_t from,
                               size_t to) {
  std::vector<std::string> texts;
  for (size_t i = from; i < std::min(to, messages.size()); ++i) texts.push_back(messages[i].hex);
  return texts;
}

std::string Parameter(int parameter, int value) {
  const ParameterMessage message = BuildParameterMessage(0, parameter, value);
  return Hex(std::vector<uint8_t>(message.begin(), message.end()));
}

// Gaps between the first bytes of consecutive messages, from..to.
std::vector<double> GapsMs(const std::vector<RawMidiReader::Message>& messages, size_t from,
                           size_t to) {
  std::vector<double> gaps;
  for (size_t i = from + 1; i < std::min(to, messages.size()); ++i) {
    gaps.push_back(std::chrono::duration<double, std::milli>(messages[i].at - messages[i - 1].at)
                       .count());
  }
  return gaps;
}

// The editor as a user starts it on the VM's sequencer, everything it sends
// read back raw from VirMIDI 0-0 (hw:0,0) and 0-1 (hw:0,1). The readers are
// opened first: virmidi only passes bytes on to a reader.
class AlsaEditor : public ::testing::Test {
 protected:
  void SetUp() override {
    if (access(kVirMidi0Raw, F_OK) != 0) SKIP_OUTSIDE_VM("no snd-virmidi on this machine");
    ASSERT_TRUE(wire.Ready());
    ASSERT_TRUE(wire1.Ready());
    ASSERT_TRUE(peer.Ready());
    capture = peer.AddPort("capture", kWritable, kHardwarePort);
    ASSERT_GE(capture, 0);
    SetMidiBackend(ChooseMidiBackend());
    ASSERT_EQ(CurrentMidiBackend().Name(), "alsa");
    form = testing_support::StartEditorWindows();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
  }
  void TearDown() override {
    testing_support::CloseEditorWindows();
    form = nullptr;
    SetMidiBackend(nullptr);
  }

  RawMidiReader wire{"hw:0,0"};
  RawMidiReader wire1{"hw:0,1"};
  AlsaPeer peer{PeerName("-app")};  // a program's port, there before start-up
  int capture = -1;
  ui::ScriptedDialogs dialogs;
  TForm1* form = nullptr;
};

TEST_F(AlsaEditor, StartUpOpensVirMidiAndEveryTransferReachesTheWireByteExactAndPaced) {
  EXPECT_TRUE(dialogs.Errors().empty());
  EXPECT_EQ(form->MidiOutput1->State(), mosOpen);
  EXPECT_EQ(form->cmbOutput->Text().toStdString(), kVirMidi0) << "never Midi Through";

  // The configuration, then "Write to Flash".
  form->CheckBox25->SetChecked(true);
  const std::array<int, 32> record = form->GetConfigRecord();
  std::vector<std::string> config;
  for (int i = 0; i < 32; ++i) config.push_back(Parameter(32 + i, record[i]));
  config.push_back("F0 70 7B 00 7F 04 03 F7");
  form->SpeedButton7->click();  // Send Config to MIDI

  // A table, 48 entries and "Write to Flash".
  Form3->GenerateTable(128, 255, 47, 0);
  std::vector<std::string> table;
  for (int i = 0; i < 48; ++i) table.push_back(Parameter(64 + i, form->NoteTable()[i]));
  table.push_back("F0 70 7B 00 7F 04 03 F7");
  form->SpeedButton12->click();  // Send Table to Interface

  // A test slider, then the clock for a few ticks.
  form->ComboBox6->SetItemIndex(8);  // "Volume (coarse)", controller 7
  form->TrackBar6->setValue(100);
  // The clock, its ticks given by the test (at speed 10000 the timer itself
  // would tick only every 1.7 s).
  form->UpDown10->SetPosition(10000);
  form->Button3->click();  // Run
  for (int tick = 0; tick < 3; ++tick) form->Timer1->Tick();
  form->Button3->click();  // Stop
  EXPECT_FALSE(form->Timer1->Enabled());
  const size_t before_clock = 33 + 49 + 1;
  std::vector<RawMidiReader::Message> got = wire.WaitFor(before_clock + 5);
  EXPECT_TRUE(dialogs.Errors().empty());

  EXPECT_EQ(Texts(got, 0, 33), config);
  EXPECT_EQ(Texts(got, 33, 82), table);
  EXPECT_EQ(Texts(got, 82, 83), std::vector<std::string>{"B0 07 64"});
  EXPECT_EQ(Texts(got, before_clock, got.size()),
            (std::vector<std::string>{"FA", "F8", "F8", "F8", "FC"}));
  // Each parameter message is followed by a 100 ms wait before the next.
  for (const auto& [from, to] : {std::pair<size_t, size_t>{0, 33}, {33, 82}}) {
    const std::vector<double> gaps = GapsMs(got, from, to);
    ASSERT_FALSE(gaps.empty());
    std::printf("gaps between messages %zu..%zu: %.3f to %.3f ms\n", from, to - 1,
                *std::min_element(gaps.begin(), gaps.end()), *std::max_element(gaps.begin(), gaps.end()));
    // Each wait counts from its hand-over, so the wire shows 100 ms give or take the
    // hand-over's own variation on this emulated processor, where a message now and
    // then reaches the reader late and shortens the gap after it. A missing wait
    // shows as a gap of a few milliseconds, and the gaps add up to the waits.
    EXPECT_GE(*std::min_element(gaps.begin(), gaps.end()), 50.0) << "messages " << from << ".." << to;
    EXPECT_GE(std::accumulate(gaps.begin(), gaps.end(), 0.0), 100.0 * gaps.size() - 20.0)
        << "messages " << from << ".." << to;
  }
}

TEST_F(AlsaEditor, ChoosingVirMidi1SendsThereAndNothingToVirMidi0) {
  const int index = form->cmbOutput->findText("Virtual Raw MIDI 0-1:VirMIDI 0-1");
  ASSERT_GE(index, 0);
  form->cmbOutput->SetItemIndex(index);
  emit form->cmbOutput->activated(index);  // the user's choice
  EXPECT_EQ(form->cmbOutput->Text().toStdString(), "Virtual Raw MIDI 0-1:VirMIDI 0-1");
  form->SendParameter(0, 41, 0xA5);
  EXPECT_EQ(Texts(wire1.WaitFor(1), 0, 2), std::vector<std::string>{"F0 70 7B 00 29 05 0A F7"});
  EXPECT_TRUE(wire.Messages().empty());
  EXPECT_TRUE(dialogs.Errors().empty());
}

// The user picks a program's port, which goes away in the middle of a transfer
// and comes back under the same name.
TEST_F(AlsaEditor, UnplugMidTransferStopsAtTheFailingMessageAndTheNextTransferReachesThePortBack) {
  const int index = form->cmbOutput->findText(QString::fromStdString(peer.Name("capture")));
  ASSERT_GE(index, 0);
  form->cmbOutput->SetItemIndex(index);
  emit form->cmbOutput->activated(index);
  const std::array<int, 32> record = form->GetConfigRecord();
  std::vector<std::string> config;
  for (int i = 0; i < 32; ++i) config.push_back(Parameter(32 + i, record[i]));

  std::thread unplug([&] {
    std::this_thread::sleep_for(550ms);  // some six messages in
    peer.DeletePort(capture);
  });
  form->SpeedButton7->click();  // Send Config to MIDI
  unplug.join();
  EXPECT_EQ(dialogs.Errors(), std::vector<std::string>{"There is no driver installed on your system."});
  EXPECT_FALSE(Form2->isVisible());
  std::vector<std::string> got;
  while (auto message = peer.Next(100ms)) got.push_back(Hex(*message));
  ASSERT_GE(got.size(), 3u);
  ASSERT_LE(got.size(), 10u) << "the transfer stopped at the failing message";
  EXPECT_EQ(got, std::vector<std::string>(config.begin(), config.begin() + got.size()));
  EXPECT_TRUE(form->isVisible());
  // The list drops the port that went and shows it again when it is back.
  const QString name = QString::fromStdString(peer.Name("capture"));
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->cmbOutput->findText(name) < 0; }, 5000));
  EXPECT_EQ(form->cmbOutput->currentText(), name) << "still shown as the output in use";

  capture = peer.AddPort("capture", kWritable, kHardwarePort);  // back again
  ASSERT_GE(capture, 0);
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->cmbOutput->findText(name) >= 0; }, 5000));
  EXPECT_EQ(form->cmbOutput->ItemIndex(), form->cmbOutput->findText(name));
  form->SpeedButton7->click();
  got.clear();
  while (auto message = peer.Next(200ms)) got.push_back(Hex(*message));
  EXPECT_EQ(got, config);
  EXPECT_EQ(dialogs.Errors().size(), 1u) << "no error the second time";
}

// The command-line tool on the kernel sequencer: with no --port it sends where
// the editor would (VirMIDI 0-0), and a table file's messages reach the wire as
// its dry run lists them, 100 ms apart.
TEST(AlsaTool, SendReachesTheEditorsPortAsItsDryRunListsAndPaced) {
  if (access(kVirMidi0Raw, F_OK) != 0) SKIP_OUTSIDE_VM("no snd-virmidi on this machine");
  RawMidiReader wire{"hw:0,0"};
  ASSERT_TRUE(wire.Ready());
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string file = dir.filePath("bass.3CV").toStdString();
  {
    QFile out(QString::fromStdString(file));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    QByteArray table(48, 0);
    for (int i = 0; i < 48; ++i) table[i] = static_cast<char>(200 + i);
    out.write(table);
  }
  const auto run = [](const std::vector<std::string>& args, std::string& out) {
    std::ostringstream o, e;
    cli::Io io{o, e, false, [] { SetMidiBackend(ChooseMidiBackend()); }};
    const int code = cli::Run(args, io);
    out = o.str() + e.str();
    return code;
  };
  std::string listed, said;
  ASSERT_EQ(run({"send", file, "--flash", "--dry-run"}, listed), 0);
  ASSERT_EQ(run({"send", file, "--flash"}, said), 0) << said;
  const std::vector<RawMidiReader::Message> got = wire.WaitFor(49);
  SetMidiBackend(nullptr);
  std::string texts;
  for (const auto& message : got) texts += message.hex + "\n";
  EXPECT_EQ(texts, listed);
  const std::vector<double> gaps = GapsMs(got, 0, got.size());
  ASSERT_EQ(gaps.size(), 48u);
  EXPECT_GE(*std::min_element(gaps.begin(), gaps.end()), 90.0);  // as the editor's, above
}

}  // namespace

namespace {

// A card's identity from what sysfs and the card's info say.
TEST(AlsaCardIdentity, SerialThenUsbPathLastAndTheCardIdDoesNot) {
  bool lasting = false;
  EXPECT_EQ(AlsaCardIdentity("A1B2", "Velmont TQX Cable at usb-dummy_hcd.0-1, full speed", "Cable",
                             lasting),
            "usb-serial:A1B2");
  EXPECT_TRUE(lasting);
  EXPECT_EQ(AlsaCardIdentity("", "Velmont TQX Cable at usb-dummy_hcd.0-1, full speed", "Cable_1",
                             lasting),
            "usb-dummy_hcd.0-1");
  EXPECT_TRUE(lasting);
  EXPECT_EQ(AlsaCardIdentity("", "Virtual MIDI Card 1", "VirMIDI", lasting), "card:VirMIDI");
  EXPECT_FALSE(lasting);
}

}  // namespace
