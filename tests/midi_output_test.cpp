#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "midi/midi_memory.h"
#include "midi/midi_output.h"
#include "midi/platform/virtual_backend.h"
#include "support/test_support.h"
#include "ui/dialogs.h"

namespace {

using Call = VirtualMidiBackend::Call;
using testing_support::Hex;

// What the user reads for some platform codes.
constexpr const char* kInvalidHandle = "The specified device handle is invalid.";
constexpr const char* kNoMemory =
    "There is not enough memory available for this task.  Quit one or more applications, and "
    "then try again.";
constexpr const char* kNotReady =
    "The port is transmitting data to the device.  Wait until the data has been transmitted, "
    "and then try again.";
constexpr const char* kStillPlaying =
    "Cannot perform this operation while media data is still playing.  Reset the device, or "
    "wait until the data is finished playing.";
constexpr const char* kNotSupported =
    "This function is not supported.  Use the Capabilities function to determine which "
    "functions and messages the driver supports.";

template <class Action>
std::string ErrorOf(Action action) {
  try {
    action();
  } catch (const EmidioutputError& error) {
    return error.what();
  }
  return "(no error)";
}

class MidiOutputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto backend = std::make_unique<VirtualMidiBackend>();
    midi = backend.get();
    SetMidiBackend(std::move(backend));
  }
  void TearDown() override { SetMidiBackend(nullptr); }

  // The service finishes what it was given, then the GUI thread gets its turn.
  void RunEventLoop() {
    midi->WaitIdle();
    QCoreApplication::sendPostedEvents();
  }

  std::vector<std::string> SentHex(int device) {
    std::vector<std::string> texts;
    for (const auto& message : midi->Sent(device)) texts.push_back(Hex(message));
    return texts;
  }

  VirtualMidiBackend* midi = nullptr;
};

using Texts = std::vector<std::string>;

TEST_F(MidiOutputTest, StartsClosedWithoutQueryingAnyDevice) {
  midi->AddOutputDevice("Port A");
  midi->AddOutputDevice("Port B");
  TMidiOutput port(nullptr);
  EXPECT_EQ(port.State(), mosClosed);
  EXPECT_EQ(port.DeviceCount(), 2);
  EXPECT_EQ(port.DeviceID(), 0);
  EXPECT_EQ(port.ProductName(), "");
  EXPECT_EQ(port.MidiHandle(), nullptr);
  EXPECT_TRUE(midi->OutCapsQueries().empty());
}

TEST_F(MidiOutputTest, DeviceIdSelectsADeviceAndItsCapabilities) {
  midi->AddOutputDevice("Port A");
  MIDIOUTCAPSA caps = VirtualMidiBackend::OutputCaps("FM Chip", MOD_FMSYNTH);
  caps.vDriverVersion = 0x0502;
  caps.wVoices = 18;
  caps.wNotes = 9;
  caps.wChannelMask = 0x00FF;
  caps.dwSupport = MIDICAPS_VOLUME;
  midi->AddOutputDevice(caps);
  TMidiOutput port(nullptr);

  port.SetDeviceID(1);
  EXPECT_EQ(port.ProductName(), "FM Chip");
  EXPECT_EQ(port.Technology(), opt_FMSynth);
  EXPECT_EQ(port.DriverVersion(), 0x0502u);
  EXPECT_EQ(port.Voices(), 18);
  EXPECT_EQ(port.Notes(), 9);
  EXPECT_EQ(port.ChannelMask(), 0x00FF);
  EXPECT_EQ(port.Support(), MIDICAPS_VOLUME);

  port.SetDeviceID(-1);
  EXPECT_EQ(port.DeviceID(), -1);
  EXPECT_EQ(port.ProductName(), "Virtual MIDI Mapper");
  EXPECT_EQ(port.Technology(), opt_Mapper);

  EXPECT_EQ(ErrorOf([&] { port.SetDeviceID(2); }), "Invalid device ID");
  EXPECT_EQ(port.DeviceID(), -1);

  midi->FailNext(Call::OutGetDevCaps, MMSYSERR_NODRIVER);
  EXPECT_EQ(ErrorOf([&] { port.SetDeviceID(0); }), "There is no driver installed on your system.");
  EXPECT_EQ(port.Error(), MMSYSERR_NODRIVER);
}

TEST_F(MidiOutputTest, DeviceSelectionIsRefusedWhileOpen) {
  midi->AddOutputDevice("Port A");
  midi->AddOutputDevice("Port B");
  TMidiOutput port(nullptr);
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(ErrorOf([&] { port.SetDeviceID(1); }), "Change to DeviceID while device was open");
  EXPECT_EQ(ErrorOf([&] { port.SetProductName("Port B"); }),
            "Change to ProductName while device was open");
  EXPECT_EQ(ErrorOf([&] { port.SetTechnology(opt_MidiPort); }),
            "Change to Product Technology while device was open");
  EXPECT_EQ(port.DeviceID(), 0);
}

TEST_F(MidiOutputTest, ProductNameIsSearchedFromTheMapperOn) {
  midi->AddOutputDevice("Synth", MOD_SYNTH);
  midi->AddOutputDevice("Port B");
  midi->AddOutputDevice("Port C");
  TMidiOutput port(nullptr);

  port.SetProductName("Port B");
  EXPECT_EQ(port.DeviceID(), 1);
  EXPECT_EQ(port.ProductName(), "Port B");
  EXPECT_EQ(midi->OutCapsQueries(), (std::vector<int>{-1, 0, 1, 1}));

  port.SetProductName("Virtual MIDI Mapper");
  EXPECT_EQ(port.DeviceID(), -1);

  port.SetDeviceID(2);
  EXPECT_EQ(ErrorOf([&] { port.SetProductName("port b"); }),
            "MIDI output Device port b not installed");
  EXPECT_EQ(port.DeviceID(), 2);
  EXPECT_EQ(port.ProductName(), "Port C");
}

// Two a2j ports whose names differ only after the 31 bytes the caps carry, and
// two identical interfaces: each is reached, never the other.
TEST_F(MidiOutputTest, DevicesAreFoundByWholeNameAndByIdentity) {
  const std::string first = "a2j:TQX Cable [20] (playback): TQX Cable MIDI 1";
  const std::string second = "a2j:TQX Cable [20] (playback): TQX Cable MIDI 2";
  midi->AddOutputDevice(first);
  midi->AddOutputDevice(second);
  const int unitA = midi->AddOutputDevice("TQX Cable");
  const int unitB = midi->AddOutputDevice("TQX Cable");
  TMidiOutput port(nullptr);

  port.SetProductName(second);
  EXPECT_EQ(port.DeviceID(), 1);
  EXPECT_EQ(port.ProductName(), second);

  const MidiDeviceInfo chosen{"TQX Cable", "virtual-out-" + std::to_string(unitB), {}};
  port.SelectDevice(chosen);
  EXPECT_EQ(port.DeviceID(), 3);
  EXPECT_EQ(port.Identity(), chosen.identity);
  // Gone, it is not replaced by the other unit of that name; an identity that
  // another device has taken is not the device either.
  midi->UnplugOutput(unitB);
  EXPECT_EQ(ErrorOf([&] { port.SelectDevice(chosen); }),
            "MIDI output Device TQX Cable not installed");
  midi->SetOutputIdentity(unitA, chosen.identity);
  EXPECT_EQ(ErrorOf([&] { port.SelectDevice({"Other Cable", chosen.identity, {}}); }),
            "MIDI output Device Other Cable not installed");
}

// Devices come and go between the choice of a device and its open: the port
// opens the device chosen, wherever it has moved, or fails when it has gone.
TEST_F(MidiOutputTest, OpenGoesToTheChosenDeviceWhereverTheListMovedIt) {
  midi->AddOutputDevice("Port A");
  const int chosen = midi->AddOutputDevice("Port B");
  TMidiOutput port(nullptr);
  port.SetDeviceID(1);

  const int early = midi->InsertOutputDevice(0, "Plugged In Meanwhile");
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(port.DeviceID(), 2);
  port.PutShort(0xFA, 0, 0);
  ASSERT_TRUE(port.Close());

  // Another device comes first just as the service opens.
  midi->BeforeNext(Call::OutOpen, [&] { midi->InsertOutputDevice(0, "Plugged In Now"); });
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(port.DeviceID(), 3);
  EXPECT_TRUE(midi->OutputOpen(chosen));
  port.PutShort(0xFC, 0, 0);
  ASSERT_TRUE(port.Close());
  EXPECT_EQ(SentHex(chosen), (Texts{"FA", "FC"}));
  EXPECT_TRUE(SentHex(0).empty());
  EXPECT_TRUE(SentHex(early).empty());

  midi->UnplugOutput(chosen);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.Error(), MMSYSERR_NODRIVER);
  EXPECT_EQ(port.State(), mosClosed);
  midi->ReplugOutput(chosen);
  EXPECT_TRUE(port.Open());
  EXPECT_TRUE(midi->OutputOpen(chosen));
}

TEST_F(MidiOutputTest, ProductNameIsIgnoredWhileTheFormLoads) {
  midi->AddOutputDevice("Port A");
  TComponent form;
  form.SetLoading(true);
  TMidiOutput port(&form);
  port.SetProductName("Stored At Design Time");
  EXPECT_EQ(port.ProductName(), "");
  EXPECT_TRUE(midi->OutCapsQueries().empty());

  form.SetLoading(false);
  EXPECT_EQ(ErrorOf([&] { port.SetProductName("Stored At Design Time"); }),
            "MIDI output Device Stored At Design Time not installed");
}

TEST_F(MidiOutputTest, TechnologyPicksTheFirstMatchingDevice) {
  midi->AddOutputDevice("Synth", MOD_SYNTH);
  midi->AddOutputDevice("Port B");
  midi->AddOutputDevice("Port C");
  TMidiOutput port(nullptr);

  port.SetTechnology(opt_MidiPort);
  EXPECT_EQ(port.DeviceID(), 1);
  EXPECT_EQ(port.ProductName(), "Port B");
  EXPECT_EQ(midi->OutCapsQueries(), (std::vector<int>{-1, 0, 1, 1}));

  port.SetTechnology(opt_Mapper);
  EXPECT_EQ(port.DeviceID(), -1);

  EXPECT_EQ(ErrorOf([&] { port.SetTechnology(opt_FMSynth); }),
            "MIDI output technology FM Synth not installed");
  EXPECT_EQ(port.DeviceID(), -1);
}

TEST_F(MidiOutputTest, NoMidiPortTechnologyIsReportedByName) {
  midi->AddOutputDevice("Synth", MOD_SYNTH);
  TMidiOutput port(nullptr);
  EXPECT_EQ(ErrorOf([&] { port.SetTechnology(opt_MidiPort); }),
            "MIDI output technology MIDI Port not installed");

  midi->FailAlways(Call::OutGetDevCaps, MMSYSERR_NOMEM);
  EXPECT_EQ(ErrorOf([&] { port.SetTechnology(opt_Synth); }), kNoMemory);
}

TEST_F(MidiOutputTest, ShortMessagesGoToTheOpenDeviceAsPacked) {
  midi->AddOutputDevice("Port A");
  midi->AddOutputDevice("Port B");
  TMidiOutput port(nullptr);
  port.SetDeviceID(1);
  ASSERT_TRUE(port.Open());
  EXPECT_EQ(port.State(), mosOpen);
  EXPECT_TRUE(midi->OutputOpen(1));

  port.PutShort(0xB0, 7, 100);
  port.PutShort(0xC0, 5, 0);
  port.PutShort(0xF8, 0, 0);
  port.PutShort(0x90, 0x80, 0xFF);  // nothing is masked
  EXPECT_EQ(SentHex(1), (Texts{"B0 07 64", "C0 05", "F8", "90 80 FF"}));
  EXPECT_TRUE(SentHex(0).empty());
  EXPECT_EQ(midi->CallCount(Call::OutLongMsg), 0);

  midi->FailNext(Call::OutShortMsg, MIDIERR_NOTREADY);
  EXPECT_EQ(ErrorOf([&] { port.PutShort(0xE0, 0, 0x40); }), kNotReady);
  EXPECT_EQ(port.Error(), MIDIERR_NOTREADY);
}

TEST_F(MidiOutputTest, FailedOpenLeavesThePortClosedAndSendsRaise) {
  midi->AddOutputDevice("Port A");
  const size_t blocks = GlobalBlockCount();
  TMidiOutput port(nullptr);
  midi->FailNext(Call::OutOpen, MMSYSERR_ALLOCATED);

  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.State(), mosClosed);
  EXPECT_EQ(port.MidiHandle(), nullptr);
  EXPECT_EQ(port.NotifyBlock(), nullptr);
  EXPECT_EQ(GlobalBlockCount(), blocks);

  const uint8_t clock = 0xF8;
  EXPECT_EQ(ErrorOf([&] { port.PutShort(0xB0, 7, 100); }), kInvalidHandle);
  EXPECT_EQ(ErrorOf([&] { port.PutLong(&clock, 1); }), kInvalidHandle);
  EXPECT_EQ(GlobalBlockCount(), blocks);
  TMyMidiEvent event;
  event.StatusByte = 0x90;
  EXPECT_EQ(ErrorOf([&] { port.PutMidiEvent(event); }), "MIDI Output device not open");
  EXPECT_TRUE(SentHex(0).empty());

  EXPECT_TRUE(port.Open());  // the device is free again
}

TEST_F(MidiOutputTest, CloseReportsWhetherItClosedAnything) {
  midi->AddOutputDevice("Port A");
  TMidiOutput port(nullptr);
  midi->ClearApiCalls();
  EXPECT_FALSE(port.Close());
  EXPECT_TRUE(midi->ApiCalls().empty());

  ASSERT_TRUE(port.Open());
  midi->FailNext(Call::OutClose, MIDIERR_STILLPLAYING);
  EXPECT_EQ(ErrorOf([&] { port.Close(); }), kStillPlaying);
  EXPECT_EQ(port.State(), mosOpen);
  EXPECT_NE(port.MidiHandle(), nullptr);
  port.PutShort(0xFC, 0, 0);  // still usable

  EXPECT_TRUE(port.Close());
  EXPECT_EQ(port.State(), mosClosed);
  EXPECT_FALSE(midi->OutputOpen(0));
  EXPECT_NE(port.NotifyBlock(), nullptr);  // kept for the next Open
  midi->ClearApiCalls();
  EXPECT_FALSE(port.Close());
  EXPECT_TRUE(midi->ApiCalls().empty());
  EXPECT_EQ(SentHex(0), Texts{"FC"});
}

TEST_F(MidiOutputTest, LongMessageIsCopiedBeforePutLongReturns) {
  midi->AddOutputDevice("Port A");
  midi->SetSendDelay(std::chrono::milliseconds(20));
  TMidiOutput port(nullptr);
  ASSERT_TRUE(port.Open());
  uint8_t message[8] = {0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7};
  port.PutLong(message, sizeof message);
  std::memset(message, 0, sizeof message);
  EXPECT_EQ(SentHex(0), Texts{"F0 70 7B 00 29 05 0A F7"});
}

TEST_F(MidiOutputTest, LongMessagesStayInFlightUntilTheEventLoopRuns) {
  midi->AddOutputDevice("Port A");
  TMidiOutput port(nullptr);
  std::vector<std::thread::id> notified;
  port.Onmidioutput = [&](TObject* sender) {
    EXPECT_EQ(sender, &port);
    notified.push_back(std::this_thread::get_id());
  };
  ASSERT_TRUE(port.Open());
  const size_t blocks = GlobalBlockCount();

  for (uint8_t i = 0; i < 10; ++i) {
    const uint8_t message[8] = {0xF0, 0x70, 0x7B, 0x00, 0x20, i, 0x00, 0xF7};
    port.PutLong(message, sizeof message);
  }
  midi->WaitIdle();  // all sent and reported done, but not yet handled
  EXPECT_EQ(GlobalBlockCount(), blocks + 20);  // a header and a buffer each
  EXPECT_TRUE(notified.empty());
  ASSERT_EQ(midi->Sent(0).size(), 10u);
  EXPECT_EQ(SentHex(0)[9], "F0 70 7B 00 20 09 00 F7");

  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(GlobalBlockCount(), blocks);
  ASSERT_EQ(notified.size(), 10u);
  EXPECT_EQ(notified[0], std::this_thread::get_id());
}

TEST_F(MidiOutputTest, OneByteLongMessageTakesTheHeaderPath) {
  midi->AddOutputDevice("Port A");
  TMidiOutput port(nullptr);
  int done = 0;
  port.Onmidioutput = [&](TObject*) { ++done; };
  ASSERT_TRUE(port.Open());
  const size_t blocks = GlobalBlockCount();

  const uint8_t clock = 0xF8;
  port.PutLong(&clock, 1);
  EXPECT_EQ(GlobalBlockCount(), blocks + 2);
  EXPECT_EQ(midi->CallCount(Call::OutLongMsg), 1);
  EXPECT_EQ(midi->CallCount(Call::OutShortMsg), 0);
  EXPECT_EQ(SentHex(0), Texts{"F8"});
  RunEventLoop();
  EXPECT_EQ(done, 1);
  EXPECT_EQ(GlobalBlockCount(), blocks);
}

TEST_F(MidiOutputTest, FailedLongMessageRaisesAndKeepsNoHeader) {
  midi->AddOutputDevice("Port A");
  TMidiOutput port(nullptr);
  int done = 0;
  port.Onmidioutput = [&](TObject*) { ++done; };
  ASSERT_TRUE(port.Open());
  const size_t blocks = GlobalBlockCount();
  const uint8_t start = 0xFA;

  midi->FailNext(Call::OutPrepareHeader, MMSYSERR_NOMEM);
  EXPECT_EQ(ErrorOf([&] { port.PutLong(&start, 1); }), kNoMemory);
  midi->FailNext(Call::OutLongMsg, MIDIERR_NOTREADY);
  EXPECT_EQ(ErrorOf([&] { port.PutLong(&start, 1); }), kNotReady);
  EXPECT_EQ(port.Error(), MIDIERR_NOTREADY);

  RunEventLoop();
  EXPECT_EQ(GlobalBlockCount(), blocks);
  EXPECT_TRUE(SentHex(0).empty());
  EXPECT_EQ(done, 0);
}

TEST_F(MidiOutputTest, PutMidiEventSendsShortOrSysex) {
  midi->AddOutputDevice("Port A");
  TMidiOutput port(nullptr);
  ASSERT_TRUE(port.Open());

  TMyMidiEvent note;
  note.StatusByte = 0x90;
  note.DataByte1 = 0x3C;
  note.DataByte2 = 0x64;
  port.PutMidiEvent(note);

  TMyMidiEvent sysex;
  sysex.StatusByte = 0xF0;
  sysex.SysexSize = 8;
  sysex.SysexData = new BYTE[8]{0xF0, 0x70, 0x7B, 0x01, 0x7F, 0x04, 0x03, 0xF7};
  port.PutMidiEvent(sysex);

  EXPECT_EQ(SentHex(0), (Texts{"90 3C 64", "F0 70 7B 01 7F 04 03 F7"}));
  EXPECT_EQ(midi->CallCount(Call::OutLongMsg), 1);
  RunEventLoop();
}

TEST_F(MidiOutputTest, VolumeGoesToTheSelectedDeviceNumber) {
  midi->AddOutputDevice("Port A");
  midi->AddOutputDevice("Port B");
  TMidiOutput port(nullptr);
  port.SetDeviceID(1);
  port.SetVolume(0x1234, 0x5678);  // no need to be open
  EXPECT_EQ(midi->Volume(1), 0x12345678u);
  EXPECT_FALSE(midi->Volume(0).has_value());

  port.SetDeviceID(-1);
  port.SetVolume(0xFFFF, 0);
  EXPECT_EQ(midi->Volume(VirtualMidiBackend::kMapper), 0xFFFF0000u);

  midi->FailNext(Call::OutSetVolume, MMSYSERR_NOTSUPPORTED);
  EXPECT_EQ(ErrorOf([&] { port.SetVolume(1, 1); }), kNotSupported);
}

TEST_F(MidiOutputTest, ErrorTextsComeFromThePlatform) {
  TMidiOutput port(nullptr);
  EXPECT_EQ(port.midioutErrorString(MMSYSERR_INVALHANDLE), kInvalidHandle);
  EXPECT_EQ(port.midioutErrorString(500), "Specified error number is out of range");

  // A backend names what failed in a code of its own.
  midi->AddOutputDevice("Port A");
  TMidiOutput open_port(nullptr);
  ASSERT_TRUE(open_port.Open());
  const MMRESULT code = MidiErrorCode("Cannot connect to port 20:0 - Operation not permitted");
  midi->FailNext(Call::OutShortMsg, code);
  EXPECT_EQ(ErrorOf([&] { open_port.PutShort(0xB0, 7, 100); }),
            "Cannot connect to port 20:0 - Operation not permitted");
}

TEST_F(MidiOutputTest, DestroyingThePortFreesHeadersStillBeingSent) {
  midi->AddOutputDevice("Port A");
  midi->SetSendDelay(std::chrono::milliseconds(15));
  const size_t blocks = GlobalBlockCount();
  int done = 0;
  {
    TMidiOutput port(nullptr);
    port.Onmidioutput = [&](TObject*) { ++done; };
    ASSERT_TRUE(port.Open());
    const uint8_t message[3] = {0xF0, 0x7E, 0xF7};
    for (int i = 0; i < 3; ++i) port.PutLong(message, sizeof message);
  }
  EXPECT_EQ(GlobalBlockCount(), blocks);
  EXPECT_FALSE(midi->OutputOpen(0));
  EXPECT_EQ(midi->Sent(0).size(), 3u);
  EXPECT_EQ(done, 0);  // the owner is not told during destruction
}

TEST_F(MidiOutputTest, OnlyDoneNoticesReachTheNotification) {
  midi->AddOutputDevice("Port A");
  TMidiOutput port(nullptr);
  int done = 0;
  port.Onmidioutput = [&](TObject*) { ++done; };
  PostMessageA(port.NotifyWindow(), MOM_OPEN, 0, 0);
  PostMessageA(port.NotifyWindow(), WM_USER, 0, 0);
  QCoreApplication::sendPostedEvents();
  EXPECT_EQ(done, 0);
}

TEST_F(MidiOutputTest, ErrorInTheNotificationGoesToTheErrorReport) {
  midi->AddOutputDevice("Port A");
  ui::ScriptedDialogs dialogs;
  TMidiOutput port(nullptr);
  port.Onmidioutput = [](TObject*) { throw EmidioutputError("Invalid device ID"); };
  ASSERT_TRUE(port.Open());
  const uint8_t stop = 0xFC;
  port.PutLong(&stop, 1);
  port.PutLong(&stop, 1);
  RunEventLoop();
  EXPECT_EQ(dialogs.Errors(), (Texts{"Invalid device ID", "Invalid device ID"}));
}

}  // namespace
