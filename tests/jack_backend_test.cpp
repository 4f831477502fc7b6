// The JACK backend against a real jackd (dummy driver, private server name):
// bytes sent through the mmsystem API must reach a peer client's port exactly,
// and bytes the peer plays must come back through the input callbacks.

#include "midi/platform/jack_backend.h"

#include <gtest/gtest.h>
#include <jack/jack.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <deque>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <QCoreApplication>
#include <QProcess>
#include <QTest>

#include <QTemporaryDir>
#include <sstream>

#include "app/form1.h"
#include "cli/tool.h"
#include "midi/midi_input.h"
#include "midi/midi_output.h"
#include "midi/platform/backend_choice.h"
#include "midi/platform/midi_backend.h"
#include "midi/platform/mmsystem.h"
#include "protocol/pacing_clock.h"
#include "support/editor_fixture.h"
#include "protocol/parameter_message.h"
#include "table/form2.h"
#include "support/forwarding_backend.h"
#include "support/jack_peer.h"
#include "support/jack_server.h"
#include "support/test_support.h"
#include "ui/dialogs.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Hex;
using testing_support::JackPeer;
using testing_support::JackServer;

// A deadline for things that take a few JACK cycles, generous for sanitizers.
constexpr auto kLimit = 10s;
constexpr std::chrono::milliseconds kLimitMs = kLimit;

// What the backend's thread reports through a CALLBACK_FUNCTION, kept for the
// test's thread. SysEx bytes are copied when their buffer comes back.
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

  // The calls of that message so far, after waiting until there are count of them.
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

std::string ErrorText(MMRESULT code) {
  char text[MAXERRORLENGTH];
  if (midiOutGetErrorTextA(code, text, sizeof text) != MMSYSERR_NOERROR) return "?";
  return text;
}

std::vector<std::string> OutputNames() {
  std::vector<std::string> names;
  for (UINT device = 0; device < midiOutGetNumDevs(); ++device) {
    MIDIOUTCAPSA caps{};
    if (midiOutGetDevCapsA(device, &caps, sizeof caps) == MMSYSERR_NOERROR) {
      names.emplace_back(caps.szPname);
    }
  }
  return names;
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

bool Contains(const std::vector<std::string>& names, const std::string& name) {
  return std::find(names.begin(), names.end(), name) != names.end();
}

// A header that owns its bytes, as the ports make them.
struct Header {
  explicit Header(std::vector<uint8_t> bytes) : data(std::move(bytes)) {
    header.lpData = reinterpret_cast<LPSTR>(data.data());
    header.dwBufferLength = static_cast<DWORD>(data.size());
  }
  std::vector<uint8_t> data;
  MIDIHDR header{};
};

// One jackd for the suite; a fresh peer client and backend for every test.
// Tests of the ports (TMidiOutput, TMidiInput) can build on this fixture.
class JackBackendTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new JackServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(server_->Running()) << server_->Why();
    peer_ = std::make_unique<JackPeer>();
    ASSERT_TRUE(peer_->Ready()) << peer_->Why();
    std::string why;
    std::unique_ptr<MidiBackend> backend = OpenJackMidiBackend(why);
    ASSERT_TRUE(backend) << why;
    SetMidiBackend(std::move(backend));
  }

  void TearDown() override {
    SetMidiBackend(nullptr);  // closes what a failed test left open
    peer_.reset();
  }

  static UINT OutputDevice(const std::string& name) {
    const std::vector<std::string> names = OutputNames();
    return static_cast<UINT>(std::find(names.begin(), names.end(), name) - names.begin());
  }
  static UINT InputDevice(const std::string& name) {
    const std::vector<std::string> names = InputNames();
    return static_cast<UINT>(std::find(names.begin(), names.end(), name) - names.begin());
  }

  // Headers outlive TearDown, which closes what a failed test left open and
  // so may still hand headers back.
  MIDIHDR& NewHeader(std::vector<uint8_t> bytes) {
    return headers_.emplace_back(std::move(bytes)).header;
  }

  static inline JackServer* server_ = nullptr;
  std::unique_ptr<JackPeer> peer_;
  Callbacks callbacks_;  // outlives TearDown too
  std::deque<Header> headers_;
};

TEST_F(JackBackendTest, ListsHardwarePortsAsMidiPortsProgramsPortsAsSoftwareAndNeverOurOwn) {
  const std::string capture = peer_->CaptureName();
  const std::string playback = peer_->PlaybackName();
  EXPECT_EQ(capture, "tqx-peer:capture");
  JackPeer program("tqx-program", JackPeer::Kind::kProgram);
  ASSERT_TRUE(program.Ready()) << program.Why();

  // An open port registers a port of our client, which must not become a device.
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice(capture), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  const std::vector<std::string> outputs = OutputNames();
  const std::vector<std::string> inputs = InputNames();
  EXPECT_TRUE(Contains(outputs, capture));
  EXPECT_TRUE(Contains(outputs, program.CaptureName()));
  EXPECT_FALSE(Contains(outputs, playback));
  EXPECT_TRUE(Contains(inputs, playback));
  EXPECT_FALSE(Contains(inputs, capture));
  for (const std::string& name : outputs) EXPECT_NE(name.rfind(kJackClientName, 0), 0u) << name;
  for (const std::string& name : inputs) EXPECT_NE(name.rfind(kJackClientName, 0), 0u) << name;

  for (UINT device = 0; device < midiOutGetNumDevs(); ++device) {
    MIDIOUTCAPSA caps{};
    ASSERT_EQ(midiOutGetDevCapsA(device, &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(caps.wTechnology, caps.szPname == capture ? MOD_MIDIPORT : MOD_SWSYNTH)
        << caps.szPname;
  }
  MIDIOUTCAPSA mapper{};
  ASSERT_EQ(midiOutGetDevCapsA(MIDI_MAPPER, &mapper, sizeof mapper), MMSYSERR_NOERROR);
  EXPECT_EQ(mapper.wTechnology, MOD_MAPPER);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

// The lists change with other clients' ports, never with the ones we open.
TEST_F(JackBackendTest, OpeningOurOwnPortsLeavesTheDeviceListsAsTheyAre) {
  const unsigned long before = testing_support::SettledDeviceGeneration();
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice(peer_->CaptureName()), 0, 0, CALLBACK_NULL),
            MMSYSERR_NOERROR);
  std::this_thread::sleep_for(100ms);  // the server's notices
  EXPECT_EQ(CurrentMidiBackend().DeviceGeneration(), before);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  JackPeer other("tqx-peer-2");
  ASSERT_TRUE(other.Ready()) << other.Why();
  EXPECT_TRUE(QTest::qWaitFor([&] { return CurrentMidiBackend().DeviceGeneration() != before; }, 5000));
}

TEST_F(JackBackendTest, StartUpWithOnlyProgramsPortsReportsThatNoMidiPortIsInstalled) {
  peer_.reset();
  JackPeer program("tqx-program", JackPeer::Kind::kProgram);
  ASSERT_TRUE(program.Ready()) << program.Why();
  ui::ScriptedDialogs dialogs;
  auto form = std::make_unique<TForm1>();
  EXPECT_EQ(dialogs.Errors(),
            (std::vector<std::string>{"MIDI output technology MIDI Port not installed"}));
  EXPECT_EQ(form->MidiOutput1->State(), mosClosed);
  EXPECT_NE(form->cmbOutput->findText(QString::fromStdString(program.CaptureName())), -1)
      << "still listed";
  form.reset();
}

TEST_F(JackBackendTest, ParameterMessageControlChangeAndClockArriveByteExact) {
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice(peer_->CaptureName()), callbacks_.Function(),
                        callbacks_.Instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  MIDIHDR& parameter = NewHeader({0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7});
  MIDIHDR& clock = NewHeader({0xF8});
  ASSERT_EQ(midiOutPrepareHeader(out, &parameter, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutPrepareHeader(out, &clock, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

  ASSERT_EQ(midiOutLongMsg(out, &parameter, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutShortMsg(out, 0x006407B0), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutLongMsg(out, &clock, sizeof(MIDIHDR)), MMSYSERR_NOERROR);

  EXPECT_EQ(Hex(peer_->NextCaptured().value_or(std::vector<uint8_t>{})), "F0 70 7B 00 29 05 0A F7");
  EXPECT_EQ(Hex(peer_->NextCaptured().value_or(std::vector<uint8_t>{})), "B0 07 64");
  EXPECT_EQ(Hex(peer_->NextCaptured().value_or(std::vector<uint8_t>{})), "F8");

  // Both headers are reported done, in order, and no later than the close.
  ASSERT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  const std::vector<Callbacks::Call> done = callbacks_.Of(MOM_DONE);
  ASSERT_EQ(done.size(), 2u);
  EXPECT_EQ(done[0].param1, reinterpret_cast<DWORD_PTR>(&parameter));
  EXPECT_EQ(done[1].param1, reinterpret_cast<DWORD_PTR>(&clock));
  EXPECT_TRUE(parameter.dwFlags & MHDR_DONE);
  EXPECT_TRUE(clock.dwFlags & MHDR_DONE);
  EXPECT_FALSE(peer_->NextCaptured(50ms)) << "nothing more was sent";
}

TEST_F(JackBackendTest, MapperSendsToTheFirstOutputDevice) {
  MIDIOUTCAPSA first{};
  ASSERT_EQ(midiOutGetDevCapsA(0, &first, sizeof first), MMSYSERR_NOERROR);
  ASSERT_EQ(std::string(first.szPname), peer_->CaptureName()) << "the peer is the only MIDI client";

  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, MIDI_MAPPER, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutShortMsg(out, 0x00007FE0), MMSYSERR_NOERROR);  // pitch bend, centre
  EXPECT_EQ(Hex(peer_->NextCaptured().value_or(std::vector<uint8_t>{})), "E0 7F 00");
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(JackBackendTest, NoteOnAndSysexFromThePeerComeBackThroughTheCallbacks) {
  HMIDIIN in = nullptr;
  ASSERT_EQ(midiInOpen(&in, InputDevice(peer_->PlaybackName()), callbacks_.Function(),
                       callbacks_.Instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  MIDIHDR& first = NewHeader(std::vector<uint8_t>(64));
  MIDIHDR& second = NewHeader(std::vector<uint8_t>(64));
  for (MIDIHDR* buffer : {&first, &second}) {
    ASSERT_EQ(midiInPrepareHeader(in, buffer, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiInAddBuffer(in, buffer, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(midiInStart(in), MMSYSERR_NOERROR);

  ASSERT_TRUE(peer_->Send({0x90, 0x3C, 0x64}));
  ASSERT_TRUE(peer_->Send({0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7}));

  const std::vector<Callbacks::Call> data = callbacks_.WaitFor(MIM_DATA, 1);
  ASSERT_EQ(data.size(), 1u);
  EXPECT_EQ(data[0].param1, 0x00643C90u);
  const std::vector<Callbacks::Call> sysex = callbacks_.WaitFor(MIM_LONGDATA, 1);
  ASSERT_EQ(sysex.size(), 1u);
  EXPECT_EQ(sysex[0].param1, reinterpret_cast<DWORD_PTR>(&first));
  EXPECT_EQ(Hex(sysex[0].bytes), "F0 70 7B 00 29 05 0A F7");

  // The second buffer is still added: closing must refuse, reset hands it back.
  EXPECT_EQ(midiInClose(in), MIDIERR_STILLPLAYING);
  ASSERT_EQ(midiInReset(in), MMSYSERR_NOERROR);
  const std::vector<Callbacks::Call> returned = callbacks_.Of(MIM_LONGDATA);
  ASSERT_EQ(returned.size(), 2u) << "reset returns before the buffer is back";
  EXPECT_EQ(returned[1].param1, reinterpret_cast<DWORD_PTR>(&second));
  EXPECT_TRUE(returned[1].bytes.empty());
  EXPECT_TRUE(callbacks_.Of(MIM_ERROR).empty());
  EXPECT_TRUE(callbacks_.Of(MIM_LONGERROR).empty());
  for (MIDIHDR* buffer : {&first, &second}) {
    EXPECT_EQ(midiInUnprepareHeader(in, buffer, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  }
  EXPECT_EQ(midiInClose(in), MMSYSERR_NOERROR);
}

// PipeWire's libjack (0.3.65) answers jack_port_rename and jack_port_set_alias
// with success and changes nothing; there, only PipeWire itself renames.
bool OnPipeWire() { return std::strstr(jack_get_version_string(), "PipeWire") != nullptr; }

// Sends until one gives another result than `while_result`, or the limit.
MMRESULT SendWhile(HMIDIOUT out, DWORD message, MMRESULT while_result) {
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  MMRESULT result;
  while ((result = midiOutShortMsg(out, message)) == while_result &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  return result;
}

TEST_F(JackBackendTest, APeerThatClosesFailsEverySendAndOneBackUnderItsNameIsReconnected) {
  if (OnPipeWire())
    GTEST_SKIP() << "PipeWire runs no cycle for a port without connections: bytes sent as the "
                    "peer went reach the peer that comes back, or the reconnect is late";
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice(peer_->CaptureName()), 0, 0, CALLBACK_NULL),
            MMSYSERR_NOERROR);
  peer_.reset();  // the interface's client ends
  EXPECT_EQ(ErrorText(SendWhile(out, 0x000000F8, MMSYSERR_NOERROR)),
            "There is no driver installed on your system.");
  EXPECT_EQ(midiOutShortMsg(out, 0x000000F8), MMSYSERR_NODRIVER) << "and every send after";

  peer_ = std::make_unique<JackPeer>();  // back under the same name
  ASSERT_TRUE(peer_->Ready()) << peer_->Why();
  EXPECT_EQ(SendWhile(out, 0x006407B0, MMSYSERR_NODRIVER), MMSYSERR_NOERROR);
  const auto event = peer_->NextCaptured();
  EXPECT_EQ(event ? Hex(*event) : "nothing", "B0 07 64");
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

// The interface's client closes right after a message was handed over: its
// done notice says sent only if the message reached the peer, and says
// undelivered if it did not.
TEST_F(JackBackendTest, AMessageQueuedAsThePeerClosesIsDoneAsSentOnlyIfItArrived) {
  if (OnPipeWire())
    GTEST_SKIP() << "PipeWire runs no cycle for a port without connections: on a busy machine the "
                    "peer that comes back may be reconnected after the test's limit";
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice(peer_->CaptureName()), callbacks_.Function(),
                        callbacks_.Instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  int undelivered = 0;
  for (size_t round = 1; round <= 8; ++round) {
    if (round > 1) {
      peer_ = std::make_unique<JackPeer>();
      ASSERT_TRUE(peer_->Ready()) << peer_->Why();
      ASSERT_EQ(SendWhile(out, 0x000000F8, MMSYSERR_NODRIVER), MMSYSERR_NOERROR);
      ASSERT_TRUE(peer_->NextCaptured()) << "the F8 that found it back";
    }
    MIDIHDR& parameter = NewHeader({0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7});
    ASSERT_EQ(midiOutPrepareHeader(out, &parameter, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &parameter, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    // Within the cycle or two before the message is taken.
    std::this_thread::sleep_for(std::chrono::microseconds(1000 * (round % 4)));
    peer_->Close();
    const std::vector<Callbacks::Call> done = callbacks_.WaitFor(MOM_DONE, round);
    ASSERT_EQ(done.size(), round);
    const bool arrived = peer_->NextCaptured(100ms).has_value();
    EXPECT_EQ(done.back().param2, arrived ? MMSYSERR_NOERROR : MMSYSERR_NODRIVER) << "round " << round;
    undelivered += done.back().param2 != MMSYSERR_NOERROR;
  }
  std::printf("undelivered in %d of 8 rounds\n", undelivered);
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(JackBackendTest, ServerThatStopsFailsSendsWithItsTextAndPortsStillClose) {
  // A process is a client of one server at a time: leave the suite's first.
  SetMidiBackend(nullptr);
  peer_.reset();
  JackServer doomed;  // aims the clients at itself until it goes
  ASSERT_TRUE(doomed.Running()) << doomed.Why();
  JackPeer peer;
  ASSERT_TRUE(peer.Ready()) << peer.Why();
  std::string why;
  std::unique_ptr<MidiBackend> backend = OpenJackMidiBackend(why);
  ASSERT_TRUE(backend) << why;
  SetMidiBackend(std::move(backend));
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice(peer.CaptureName()), 0, 0, CALLBACK_NULL),
            MMSYSERR_NOERROR);

  doomed.Stop();
  MMRESULT result = MMSYSERR_NOERROR;
  const auto deadline = std::chrono::steady_clock::now() + kLimit;
  while ((result = midiOutShortMsg(out, 0x000000F8)) == MMSYSERR_NOERROR &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  EXPECT_EQ(ErrorText(result), "Cannot send - the JACK server has stopped");
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  EXPECT_EQ(midiOutGetNumDevs(), 0u);
  SetMidiBackend(nullptr);
}

MidiDeviceInfo OutputInfo(UINT device) {
  MidiDeviceInfo info;
  EXPECT_EQ(midiOutGetDevInfo(device, info), MMSYSERR_NOERROR);
  return info;
}

// Two cables' ports whose names differ only after the 31 bytes the caps
// carry (as a2jmidid names them) are told apart by whole name and uuid.
TEST_F(JackBackendTest, TwoPortsWithALongCommonStartAreListedApartByWholeNameAndIdentity) {
  const std::string start = "TQX Cable [20] (playback) MIDI ";
  ASSERT_EQ(start.size(), 31u);
  JackPeer one(start + "1");
  ASSERT_TRUE(one.Ready()) << one.Why();
  JackPeer two(start + "2");
  ASSERT_TRUE(two.Ready()) << two.Why();
  const std::vector<std::string> cut = OutputNames();
  EXPECT_EQ(std::count(cut.begin(), cut.end(), start), 2) << "the caps carry the names cut";

  std::vector<MidiDeviceInfo> infos;
  for (UINT device = 0; device < midiOutGetNumDevs(); ++device) infos.push_back(OutputInfo(device));
  const auto named = [&](const std::string& name) {
    return std::find_if(infos.begin(), infos.end(),
                        [&](const MidiDeviceInfo& info) { return info.name == name; });
  };
  const auto a = named(one.CaptureName());
  const auto b = named(two.CaptureName());
  ASSERT_NE(a, infos.end()) << one.CaptureName();
  ASSERT_NE(b, infos.end()) << two.CaptureName();
  EXPECT_EQ(one.CaptureName(), start + "1:capture");
  EXPECT_FALSE(a->identity.empty());
  EXPECT_NE(a->identity, b->identity);
  EXPECT_EQ(a->address, "") << "JACK has no address beside the name";
  std::vector<MidiDeviceInfo> inputs(midiInGetNumDevs());
  for (UINT device = 0; device < inputs.size(); ++device) {
    ASSERT_EQ(midiInGetDevInfo(device, inputs[device]), MMSYSERR_NOERROR);
  }
  const auto input = std::find_if(inputs.begin(), inputs.end(), [&](const MidiDeviceInfo& info) {
    return info.name == two.PlaybackName();
  });
  ASSERT_NE(input, inputs.end()) << two.PlaybackName();
  EXPECT_NE(input->identity, b->identity);
}

// PipeWire renames a port when its node's description changes; jackd when its
// owner calls jack_port_rename. The device is still there and still ours.
TEST_F(JackBackendTest, RenamingTheTargetPortKeepsItsIdentityAndItsMessages) {
  if (OnPipeWire()) GTEST_SKIP() << "a client cannot rename its port on PipeWire's libjack";
  HMIDIOUT out = nullptr;
  const UINT device = OutputDevice(peer_->CaptureName());
  const std::string identity = OutputInfo(device).identity;
  ASSERT_EQ(midiOutOpen(&out, device, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutShortMsg(out, 0x000000F8), MMSYSERR_NOERROR);
  ASSERT_TRUE(peer_->NextCaptured());

  ASSERT_TRUE(peer_->RenameCapture("TQX Cable MIDI 1"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return Contains(OutputNames(), "tqx-peer:TQX Cable MIDI 1"); },
                              10000));
  EXPECT_FALSE(Contains(OutputNames(), "tqx-peer:capture"));
  EXPECT_EQ(OutputInfo(OutputDevice("tqx-peer:TQX Cable MIDI 1")).identity, identity);
  for (DWORD value = 0; value < 48; ++value) {
    ASSERT_EQ(midiOutShortMsg(out, 0x000007B0 | value << 16), MMSYSERR_NOERROR) << value;
    const auto event = peer_->NextCaptured();
    ASSERT_EQ(event ? Hex(*event) : "nothing", Hex(std::vector<uint8_t>{0xB0, 0x07, uint8_t(value)}));
  }
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

// a2jmidid flags every port of an ALSA kernel client physical, "Midi Through"
// (client 14) included, and PipeWire's bridge does the same; as on ALSA it is
// not a way out of the computer.
TEST_F(JackBackendTest, BridgedMidiThroughIsNoMidiPortByNameOrAliasAndNotTheStartUpChoice) {
  peer_.reset();
  JackPeer through("a2j", JackPeer::Kind::kInterface,
                   "Midi Through [14] (playback): Midi Through Port-0");
  ASSERT_TRUE(through.Ready()) << through.Why();
  auto aliased = std::make_unique<JackPeer>("bridge", JackPeer::Kind::kInterface, "playback_1");
  ASSERT_TRUE(aliased->Ready()) << aliased->Why();
  ASSERT_TRUE(aliased->AliasCapture("alsa_pcm:Midi-Through/midi_playback_1"));
  const WORD aliased_technology = OnPipeWire() ? MOD_MIDIPORT : MOD_SWSYNTH;  // no alias there
  peer_ = std::make_unique<JackPeer>();  // the interface, listed after both
  ASSERT_TRUE(peer_->Ready()) << peer_->Why();

  const auto technology = [](const std::string& name) {
    MIDIOUTCAPSA caps{};
    EXPECT_EQ(midiOutGetDevCapsA(OutputDevice(name), &caps, sizeof caps), MMSYSERR_NOERROR) << name;
    return caps.wTechnology;
  };
  EXPECT_EQ(technology(through.CaptureName().substr(0, 31)), MOD_SWSYNTH);
  EXPECT_EQ(technology(aliased->CaptureName()), aliased_technology);
  EXPECT_EQ(technology(peer_->CaptureName()), MOD_MIDIPORT);
  aliased.reset();

  ui::ScriptedDialogs dialogs;
  auto form = std::make_unique<TForm1>();
  EXPECT_TRUE(dialogs.Errors().empty());
  EXPECT_EQ(form->MidiOutput1->State(), mosOpen);
  EXPECT_EQ(form->cmbOutput->Text().toStdString(), peer_->CaptureName());
  form.reset();
}

// A callback that holds up the backend's thread at the first done notice, as
// a slow receiver would, so that several cycles' messages are counted in one go.
class HeldCallbacks {
 public:
  static void Receive(HDRVR, UINT message, DWORD_PTR instance, DWORD_PTR param1, DWORD_PTR param2) {
    if (message != MOM_DONE) return;
    auto& self = *reinterpret_cast<HeldCallbacks*>(instance);
    std::unique_lock lock(self.mutex_);
    self.done_.emplace_back(param1, param2);
    self.changed_.notify_all();
    if (self.done_.size() == 1) self.changed_.wait_for(lock, kLimit, [&] { return self.released_; });
  }
  static DWORD_PTR Function() { return reinterpret_cast<DWORD_PTR>(&Receive); }
  DWORD_PTR Instance() { return reinterpret_cast<DWORD_PTR>(this); }

  bool WaitHeld() {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, kLimit, [&] { return !done_.empty(); });
  }
  void Release() {
    std::lock_guard lock(mutex_);
    released_ = true;
    changed_.notify_all();
  }
  // The result of each done notice, in order, once there are count of them.
  std::vector<DWORD_PTR> Results(size_t count) {
    std::unique_lock lock(mutex_);
    changed_.wait_for(lock, kLimit, [&] { return done_.size() >= count; });
    std::vector<DWORD_PTR> results;
    for (const auto& item : done_) results.push_back(item.second);
    return results;
  }

 private:
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<std::pair<DWORD_PTR, DWORD_PTR>> done_;
  bool released_ = false;
};

// Each message is counted by the cycle that took it: one that reached the
// peer is done even when a later one, counted with it, found the peer gone.
TEST_F(JackBackendTest, EachMessageIsDoneOrUndeliveredByTheCycleThatTookIt) {
  if (OnPipeWire())
    GTEST_SKIP() << "PipeWire's libjack tells of the peer's going later than the cycles that "
                    "follow it, so a message taken meanwhile counts as done there";
  JackPeer clock("tqx-clock", JackPeer::Kind::kProgram);
  ASSERT_TRUE(clock.Ready()) << clock.Why();
  HeldCallbacks held;
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice(peer_->CaptureName()), HeldCallbacks::Function(),
                        held.Instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  MIDIHDR* headers[3];
  for (MIDIHDR*& header : headers) {
    header = &NewHeader({0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7});
    ASSERT_EQ(midiOutPrepareHeader(out, header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  }
  ASSERT_EQ(midiOutLongMsg(out, headers[0], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_TRUE(held.WaitHeld());  // the backend's thread waits from here
  ASSERT_EQ(midiOutLongMsg(out, headers[1], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_TRUE(peer_->NextCaptured(2000ms)) << "the first message reached the peer";
  ASSERT_TRUE(peer_->NextCaptured(2000ms)) << "and so did the second";
  peer_->Close();
  ASSERT_TRUE(clock.WaitCycles(2));  // the peer's ports are gone from the graph
  ASSERT_EQ(midiOutLongMsg(out, headers[2], sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  ASSERT_TRUE(clock.WaitCycles(4));  // and the third is taken, to no one
  held.Release();
  EXPECT_EQ(held.Results(3),
            (std::vector<DWORD_PTR>{MMSYSERR_NOERROR, MMSYSERR_NOERROR, MMSYSERR_NODRIVER}));
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

// A flood of SysEx takes the server many cycles; it stops half-way. What it
// took before is done, what it never took is undelivered, with its text.
TEST_F(JackBackendTest, MessagesTheServerNeverTookAreUndeliveredWhenItStops) {
  if (OnPipeWire())
    GTEST_SKIP() << "PipeWire's libjack goes on running our cycles after its daemon stopped, "
                    "so what they take counts as done there";
  SetMidiBackend(nullptr);
  peer_.reset();
  JackServer doomed;
  ASSERT_TRUE(doomed.Running()) << doomed.Why();
  JackPeer peer;
  ASSERT_TRUE(peer.Ready()) << peer.Why();
  std::string why;
  std::unique_ptr<MidiBackend> backend = OpenJackMidiBackend(why);
  ASSERT_TRUE(backend) << why;
  SetMidiBackend(std::move(backend));
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, OutputDevice(peer.CaptureName()), callbacks_.Function(),
                        callbacks_.Instance(), CALLBACK_FUNCTION),
            MMSYSERR_NOERROR);
  std::vector<uint8_t> sysex(1000, 0x11);  // four events of at most 256 bytes
  sysex.front() = 0xF0;
  sysex.back() = 0xF7;
  constexpr size_t kCount = 100;
  for (size_t i = 0; i < kCount; ++i) {
    MIDIHDR& header = NewHeader(sysex);
    ASSERT_EQ(midiOutPrepareHeader(out, &header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
    ASSERT_EQ(midiOutLongMsg(out, &header, sizeof(MIDIHDR)), MMSYSERR_NOERROR);
  }
  ASSERT_TRUE(peer.NextCaptured()) << "the server began taking them";
  doomed.Stop();

  const std::vector<Callbacks::Call> done = callbacks_.WaitFor(MOM_DONE, kCount);
  ASSERT_EQ(done.size(), kCount);
  size_t pieces = 1;
  while (peer.NextCaptured(0ms)) ++pieces;
  size_t delivered = 0;
  while (delivered < kCount && done[delivered].param2 == MMSYSERR_NOERROR) ++delivered;
  EXPECT_LE(delivered * 4, pieces) << "done only when the peer had all four pieces";
  ASSERT_LT(delivered, kCount);
  for (size_t i = delivered; i < kCount; ++i) {
    ASSERT_NE(done[i].param2, MMSYSERR_NOERROR) << "message " << i << " after an undelivered one";
  }
  EXPECT_EQ(ErrorText(static_cast<MMRESULT>(done.back().param2)),
            "Cannot send - the JACK server has stopped");
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
  SetMidiBackend(nullptr);
}

// a2jmidid names a unit's port after its ALSA client, whose number may change
// when it is plugged in again; the port of another unit, there all along with
// a name that differs only in that number, is never taken for it.
TEST_F(JackBackendTest, AnA2jPortBackUnderAnotherClientNumberIsReconnectedAndNoOtherUnitIsTaken) {
  JackPeer a2j("a2j", JackPeer::Kind::kInterface, "TQX Cable [32] (playback): TQX Cable MIDI 1");
  ASSERT_TRUE(a2j.Ready()) << a2j.Why();
  ASSERT_TRUE(a2j.AddSecond("TQX Cable [28] (playback): TQX Cable MIDI 1"));
  UINT device = 0;
  // PipeWire shows another client's new port to us a little later.
  ASSERT_TRUE(QTest::qWaitFor([&] {
    for (device = 0; device < midiOutGetNumDevs(); ++device)
      if (OutputInfo(device).name == a2j.SecondName()) return true;
    return false;
  }, 10000));
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, device, 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutShortMsg(out, 0x000000F8), MMSYSERR_NOERROR);
  ASSERT_TRUE(QTest::qWaitFor([&] { return a2j.SecondEvents() == 1; }, 10000));

  a2j.RemoveSecond();  // the unit is unplugged
  EXPECT_EQ(SendWhile(out, 0x000000F8, MMSYSERR_NOERROR), MMSYSERR_NODRIVER);
  testing_support::SettledDeviceGeneration();
  EXPECT_EQ(midiOutShortMsg(out, 0x000000F8), MMSYSERR_NODRIVER) << "the other unit is not it";

  ASSERT_TRUE(a2j.AddSecond("TQX Cable [36] (playback): TQX Cable MIDI 1"));  // plugged in again
  EXPECT_EQ(SendWhile(out, 0x006407B0, MMSYSERR_NODRIVER), MMSYSERR_NOERROR);
  EXPECT_TRUE(QTest::qWaitFor([&] { return a2j.SecondEvents() == 2; }, 10000));
  EXPECT_FALSE(a2j.NextCaptured(100ms)) << "nothing reached the other unit";
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

TEST_F(JackBackendTest, StartUpChoosesJackWhileItsServerRunsAndNeverStartsOne) {
  if (access("/dev/snd/seq", F_OK) == 0) {
    GTEST_SKIP() << "this machine has an ALSA sequencer, which start-up chooses first";
  }
  SetMidiBackend(nullptr);
  EXPECT_EQ(ChooseMidiBackend()->Name(), "jack");

  const std::string running = server_->Name();
  const std::string absent = running + "-absent";
  JackServer::AimClientsAt(absent);
  std::string why;
  const std::unique_ptr<MidiBackend> chosen = ChooseMidiBackend(&why);
  EXPECT_EQ(chosen->Name(), "none");
  EXPECT_NE(why.find("Cannot open JACK client - no JACK server is running"), std::string::npos)
      << why;
  std::string again;
  EXPECT_FALSE(OpenJackMidiBackend(again)) << "a server was started under " << absent;
  JackServer::AimClientsAt(running);
}

}  // namespace

namespace {

// The editor's own ports on JACK, as the editor drives them.
TEST_F(JackBackendTest, OutputPortSendsParameterControlChangeAndClockByteExact) {
  TMidiOutput port(nullptr);
  port.SetProductName(peer_->CaptureName());
  ASSERT_TRUE(port.Open());
  const uint8_t parameter[] = {0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7};
  const uint8_t clock = 0xF8;
  port.PutLong(parameter, sizeof parameter);
  port.PutShort(0xB0, 0x07, 0x64);
  port.PutLong(&clock, 1);
  for (const char* expected : {"F0 70 7B 00 29 05 0A F7", "B0 07 64", "F8"}) {
    const auto captured = peer_->NextCaptured();
    ASSERT_TRUE(captured) << expected;
    EXPECT_EQ(Hex(*captured), expected);
  }
  EXPECT_TRUE(port.Close());
}

TEST_F(JackBackendTest, InputPortDeliversNoteOnAndSysexThroughGetMidiEvent) {
  TMidiInput port(nullptr);
  port.SetProductName(peer_->PlaybackName());
  port.Open();
  ASSERT_EQ(port.State(), misOpen);
  port.Start();
  ASSERT_TRUE(peer_->Send({0x90, 0x3C, 0x64}));
  ASSERT_TRUE(peer_->Send({0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7}));
  ASSERT_TRUE(QTest::qWaitFor([&] { return port.GetEventCount() >= 2; }, 10000));
  auto note = port.GetMidiEvent();
  ASSERT_TRUE(note);
  EXPECT_EQ(note->StatusByte, 0x90);
  EXPECT_EQ(note->DataByte1, 0x3C);
  EXPECT_EQ(note->DataByte2, 0x64);
  auto sysex = port.GetMidiEvent();
  ASSERT_TRUE(sysex);
  EXPECT_EQ(sysex->StatusByte, 0xF0);
  EXPECT_EQ(Hex(sysex->SysexData, sysex->SysexSize), "F0 70 7B 00 29 05 0A F7");
  port.Stop();
  port.Close();
}

// The whole editor on JACK: it opens the peer's port at start-up, and the test
// panel's slider and clock reach it byte-exact.
TEST_F(JackBackendTest, TestSliderAndClockGeneratorReachACapturePort) {
  auto form = std::make_unique<TForm1>();
  ASSERT_EQ(form->MidiOutput1->State(), mosOpen);
  ASSERT_EQ(form->cmbOutput->Text().toStdString(), peer_->CaptureName());
  form->ComboBox6->SetItemIndex(8);  // "Volume (coarse)", controller 7
  form->TrackBar6->setValue(100);
  form->UpDown10->SetPosition(60);  // a clock byte every 10 ms
  form->Button3->click();
  std::vector<std::string> captured;
  auto next = [&](std::chrono::milliseconds limit = kLimitMs) {
    const auto event = peer_->NextCaptured(limit);
    captured.push_back(event ? Hex(*event) : "nothing");
    return captured.back();
  };
  EXPECT_EQ(next(), "B0 07 64");
  EXPECT_EQ(next(), "FA");
  // Timer ticks need the event loop: poll without blocking it.
  ASSERT_TRUE(QTest::qWaitFor([&] { return next(0ms) == "F8"; }, 10000));
  form->Button3->click();
  while (captured.back() == "F8" && captured.size() < 10000) next();
  EXPECT_EQ(captured.back(), "FC");
  EXPECT_FALSE(peer_->NextCaptured(50ms)) << "nothing after Stop";
  form.reset();
}

TEST_F(JackBackendTest, ChoosingTheSecondOutputSendsThereAndNothingToTheFirst) {
  JackPeer second("tqx-peer-2");
  ASSERT_TRUE(second.Ready()) << second.Why();
  ui::ScriptedDialogs dialogs;
  testing_support::InstantClock clock;
  PacingClock::Install(&clock);
  auto form = std::make_unique<TForm1>();
  ASSERT_EQ(form->cmbOutput->Text().toStdString(), peer_->CaptureName());
  const int index = form->cmbOutput->findText(QString::fromStdString(second.CaptureName()));
  ASSERT_GE(index, 0);
  form->cmbOutput->SetItemIndex(index);
  emit form->cmbOutput->activated(index);  // the user's choice
  EXPECT_EQ(form->cmbOutput->Text().toStdString(), second.CaptureName());
  form->SendParameter(0, 41, 0xA5);
  const auto event = second.NextCaptured();
  EXPECT_EQ(event ? Hex(*event) : "nothing", "F0 70 7B 00 29 05 0A F7");
  EXPECT_FALSE(peer_->NextCaptured(200ms)) << "nothing to the first";
  EXPECT_TRUE(dialogs.Errors().empty());
  form.reset();
  PacingClock::Install(nullptr);
}

// The interface's client closes in the middle of "Send Config to MIDI" and
// comes back under the same name.
// The lists follow JACK's ports as they come and go, on their own: the output
// in use stays selected though its device number shifts, and takes the sends.
TEST_F(JackBackendTest, TheOutputListFollowsPortsThatComeAndGoKeepingTheOneInUse) {
  auto first = std::make_unique<JackPeer>("tqx-peer-0");
  ASSERT_TRUE(first->Ready()) << first->Why();
  ui::ScriptedDialogs dialogs;
  testing_support::InstantClock clock;
  PacingClock::Install(&clock);
  auto form = std::make_unique<TForm1>();
  const QString inUse = QString::fromStdString(peer_->CaptureName());
  const QString other = QString::fromStdString(first->CaptureName());
  const int index = form->cmbOutput->findText(inUse);
  ASSERT_GE(index, 0);
  form->cmbOutput->SetItemIndex(index);
  emit form->cmbOutput->activated(index);
  ASSERT_EQ(form->cmbOutput->Text(), inUse);
  const int before = form->cmbOutput->count();

  first.reset();  // another program's port goes
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->cmbOutput->count() == before - 1; }, 10000));
  EXPECT_LT(form->cmbOutput->findText(other), 0);
  EXPECT_EQ(form->cmbOutput->currentText(), inUse);
  EXPECT_EQ(form->cmbOutput->ItemIndex(), form->cmbOutput->findText(inUse));

  first = std::make_unique<JackPeer>("tqx-peer-0");  // and comes back
  ASSERT_TRUE(first->Ready()) << first->Why();
  ASSERT_TRUE(QTest::qWaitFor([&] { return form->cmbOutput->count() == before; }, 10000));
  EXPECT_GE(form->cmbOutput->findText(other), 0);
  EXPECT_EQ(form->cmbOutput->currentText(), inUse);
  form->SendParameter(0, 41, 0xA5);
  const auto event = peer_->NextCaptured();
  EXPECT_EQ(event ? Hex(*event) : "nothing", "F0 70 7B 00 29 05 0A F7");
  EXPECT_FALSE(first->NextCaptured(200ms));
  EXPECT_TRUE(dialogs.Errors().empty());
  form.reset();
  PacingClock::Install(nullptr);
}

TEST_F(JackBackendTest, UnplugMidTransferStopsAtTheFailingMessageAndTheNextTransferReachesThePeer) {
  ui::ScriptedDialogs dialogs;
  Form1 = new TForm1;
  Form2 = new TForm2;
  TForm1* form = Form1;
  ASSERT_EQ(form->cmbOutput->Text().toStdString(), peer_->CaptureName());
  const std::array<int, 32> record = form->GetConfigRecord();
  std::vector<std::string> config;
  for (int i = 0; i < 32; ++i) {
    const ParameterMessage m = BuildParameterMessage(0, 32 + i, record[i]);
    config.push_back(Hex(std::vector<uint8_t>(m.begin(), m.end())));
  }
  std::vector<std::string> got;
  std::thread unplug([&] {
    // A few messages in, however busy the machine, then the peer goes.
    while (got.size() < 3) {
      const auto event = peer_->NextCaptured(5000ms);
      if (!event) break;
      got.push_back(Hex(*event));
    }
    peer_.reset();
  });
  form->SpeedButton7->click();  // Send Config to MIDI
  unplug.join();
  EXPECT_EQ(dialogs.Errors(), std::vector<std::string>{"There is no driver installed on your system."});
  EXPECT_FALSE(Form2->isVisible());
  ASSERT_GE(got.size(), 3u);
  EXPECT_EQ(got, std::vector<std::string>(config.begin(), config.begin() + got.size()));

  peer_ = std::make_unique<JackPeer>();
  ASSERT_TRUE(peer_->Ready()) << peer_->Why();
  QTest::qWait(500);
  form->SpeedButton7->click();
  got.clear();
  while (auto event = peer_->NextCaptured(300ms)) got.push_back(Hex(*event));
  EXPECT_EQ(got, config);
  EXPECT_EQ(dialogs.Errors().size(), 1u) << "no error the second time";
  delete Form2;
  delete Form1;
  Form2 = nullptr;
  Form1 = nullptr;
}

// The moments messages are handed to the service, on the monotonic clock that
// the pacing wait reads.
class HandOverTimes : public testing_support::ForwardingMidiBackend {
 public:
  using ForwardingMidiBackend::ForwardingMidiBackend;
  MMRESULT OutLongMsg(Port& port, MIDIHDR& header) override {
    times.push_back(std::chrono::steady_clock::now());
    return ForwardingMidiBackend::OutLongMsg(port, header);
  }
  std::vector<std::chrono::steady_clock::time_point> times;  // the GUI thread's only
};

// The command-line tool on JACK: a configuration file's messages reach the
// peer as its dry run lists them, each handed over a pacing wait after the
// last. The pacing is ours and measured on our clock; the peer's frames come
// from the dummy driver, whose clock loses time against it while the
// processors are busy (gaps of 88 ms were read there for 100 ms ones), so they
// only show that no message went out without its wait.
TEST_F(JackBackendTest, ToolSendReachesThePeerAsItsDryRunListsAndPaced) {
  SetMidiBackend(nullptr);
  std::string why;
  std::unique_ptr<MidiBackend> jack = OpenJackMidiBackend(why);
  ASSERT_TRUE(jack) << why;
  auto recording = std::make_unique<HandOverTimes>(std::move(jack));
  HandOverTimes& handOver = *recording;
  SetMidiBackend(std::move(recording));
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string file = dir.filePath("live.TQC").toStdString();
  {
    QFile out(QString::fromStdString(file));
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    const char config[32] = {0x00, 0x18, 0x00, 0x05, 0x01, 0x07, 0x00, 0x00, 0x00, 0x41, 0x11,
                             0x00, 0x3F, 0x3F, 0x0C, 0x18, 0x02, 0x00, 0x01, 0x02, 0x03, 0x04,
                             0x40, 0x40, 0x40, 0x40, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00};
    out.write(config, sizeof config);
  }
  const auto run = [](const std::vector<std::string>& args, std::string& out) {
    std::ostringstream o, e;
    cli::Io io{o, e, false, {}};
    const int code = cli::Run(args, io);
    out = o.str() + e.str();
    return code;
  };
  std::string listed, said;
  ASSERT_EQ(run({"send", file, "--device-id", "2", "--flash", "--dry-run"}, listed), 0);
  ASSERT_EQ(run({"send", file, "--device-id", "2", "--flash", "--port", peer_->CaptureName()}, said), 0)
      << said;
  std::string got;
  std::vector<uint32_t> frames;
  while (auto event = peer_->NextCapturedAt(500ms)) {
    got += Hex(event->bytes) + "\n";
    frames.push_back(event->frame);
  }
  EXPECT_EQ(got, listed);
  ASSERT_EQ(handOver.times.size(), 33u);
  // Each wait counts from the moment before the port takes the message; this
  // records a little later, within the port's own variation. A missing wait
  // shows as a gap of well under a millisecond.
  for (size_t i = 1; i < handOver.times.size(); ++i)
    EXPECT_GE(handOver.times[i] - handOver.times[i - 1], 95ms) << "message " << i;
  ASSERT_EQ(frames.size(), 33u);
  const double framesPerMs = peer_->SampleRate() / 1000.0;
  for (size_t i = 1; i < frames.size(); ++i)
    EXPECT_GE((frames[i] - frames[i - 1]) / framesPerMs, 50.0) << "message " << i;
}

// Ctrl+C or SIGTERM in the middle of a send: the tool stops after the message
// in flight, closes its port and its JACK client, and counts what reached the
// peer.
TEST_F(JackBackendTest, ToolInterruptedMidSendStopsClosesAndCountsWhatArrived) {
  if (access("/dev/snd/seq", F_OK) == 0) {
    GTEST_SKIP() << "this machine has an ALSA sequencer, which the tool chooses first";
  }
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const QString table = dir.filePath("bass.3CV");
  {
    QFile out(table);
    ASSERT_TRUE(out.open(QIODevice::WriteOnly));
    out.write(QByteArray(48, 0x11));
  }
  for (const int signal : {SIGINT, SIGTERM}) {
    QProcess tool;
    tool.start(QCoreApplication::applicationDirPath() + "/../tqx512",
               {"send", table, "--port", QString::fromStdString(peer_->CaptureName())});
    ASSERT_TRUE(tool.waitForStarted(10000));
    size_t arrived = 0;
    for (; arrived < 3; ++arrived) ASSERT_TRUE(peer_->NextCaptured()) << "message " << arrived;
    ASSERT_EQ(::kill(static_cast<pid_t>(tool.processId()), signal), 0);
    ASSERT_TRUE(tool.waitForFinished(static_cast<int>(kLimitMs.count())));
    while (peer_->NextCaptured(300ms)) ++arrived;
    const std::string err = tool.readAllStandardError().toStdString();
    EXPECT_EQ(tool.exitStatus(), QProcess::NormalExit) << signal;
    EXPECT_EQ(tool.exitCode(), 130) << err;
    EXPECT_LT(arrived, 48u);
    EXPECT_EQ(err, "tqx512: interrupted (" + std::to_string(arrived) + " of 48 messages sent to \"" +
                       peer_->CaptureName() + "\")\n");
  }
}

}  // namespace
