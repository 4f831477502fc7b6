// The JACK backend against a real jackd (dummy driver, private server name):
// bytes sent through the mmsystem API must reach a peer client's port exactly,
// and bytes the peer plays must come back through the input callbacks.

#include "midi/platform/jack_backend.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
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
  JackServer doomed;  // points JACK_DEFAULT_SERVER at itself until it goes
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

TEST_F(JackBackendTest, StartUpChoosesJackWhileItsServerRunsAndNeverStartsOne) {
  if (access("/dev/snd/seq", F_OK) == 0) {
    GTEST_SKIP() << "this machine has an ALSA sequencer, which start-up chooses first";
  }
  SetMidiBackend(nullptr);
  EXPECT_EQ(ChooseMidiBackend()->Name(), "jack");

  const std::string running = server_->Name();
  const std::string absent = running + "-absent";
  setenv("JACK_DEFAULT_SERVER", absent.c_str(), 1);
  std::string why;
  const std::unique_ptr<MidiBackend> chosen = ChooseMidiBackend(&why);
  EXPECT_EQ(chosen->Name(), "none");
  EXPECT_NE(why.find("Cannot open JACK client - no JACK server is running"), std::string::npos)
      << why;
  std::string again;
  EXPECT_FALSE(OpenJackMidiBackend(again)) << "a server was started under " << absent;
  setenv("JACK_DEFAULT_SERVER", running.c_str(), 1);
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
    std::this_thread::sleep_for(550ms);  // some six messages in
    while (auto event = peer_->NextCaptured(0ms)) got.push_back(Hex(*event));
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

// The command-line tool on JACK: a configuration file's messages reach the
// peer as its dry run lists them, each placed a pacing wait after the last.
TEST_F(JackBackendTest, ToolSendReachesThePeerAsItsDryRunListsAndPaced) {
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
  ASSERT_EQ(frames.size(), 33u);
  const double framesPerMs = peer_->SampleRate() / 1000.0;
  for (size_t i = 1; i < frames.size(); ++i)
    EXPECT_GE((frames[i] - frames[i - 1]) / framesPerMs, 99.0) << "message " << i;
}

}  // namespace
