// Two identical USB MIDI interfaces on the kernel's own USB MIDI driver, as a
// user with two of the same cable has them: the backend and the editor must
// tell them apart, send to the one chosen, and after an unplug find that very
// one again, never its twin. ./test.sh runs these inside the test VM
// (tests/vm/run-in-vm), which has the emulated USB controllers; elsewhere they
// skip and say so, and in the VM nothing may skip.

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QTest>

#include <array>
#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "app/form1.h"
#include "midi/midi_output.h"
#include "midi/platform/alsa_backend.h"
#include "midi/platform/backend_choice.h"
#include "midi/platform/device_info.h"
#include "midi/platform/midi_backend.h"
#include "midi/platform/mmsystem.h"
#include "protocol/parameter_message.h"
#include "support/editor_fixture.h"
#include "support/test_support.h"
#include "support/usb_units.h"
#include "table/form2.h"
#include "table/form3.h"
#include "ui/dialogs.h"

namespace {

using namespace std::chrono_literals;
using testing_support::Hex;
using testing_support::UsbMidiUnit;
using Texts = std::vector<std::string>;

// What both units are called, whole and as the caps carry it.
const std::string kCable = "TQX Cable:TQX Cable MIDI 1";
const char* const kNoDriver = "There is no driver installed on your system.";

bool InTestVm() { return getenv("TQX_IN_VM") != nullptr; }

#define SKIP_OUTSIDE_VM(why)      \
  do {                            \
    if (InTestVm()) FAIL() << why; \
    GTEST_SKIP() << why;          \
  } while (0)

// The output device at a sequencer address ("24:0"), or -1.
int OutputAt(const std::string& address) {
  if (address.empty()) return -1;
  for (UINT device = 0; device < midiOutGetNumDevs(); ++device) {
    MidiDeviceInfo info;
    if (midiOutGetDevInfo(device, info) == MMSYSERR_NOERROR && info.address == address) {
      return static_cast<int>(device);
    }
  }
  return -1;
}

MidiDeviceInfo OutputInfo(int device) {
  MidiDeviceInfo info;
  EXPECT_EQ(midiOutGetDevInfo(static_cast<UINT>(device), info), MMSYSERR_NOERROR);
  return info;
}

std::string Parameter(int parameter, int value) {
  const ParameterMessage message = BuildParameterMessage(0, parameter, value);
  return Hex(std::vector<uint8_t>(message.begin(), message.end()));
}

// Unit A on the first emulated controller, B on the second, both plugged in
// and taking in what is sent to them before each test begins. They are made
// once for all the tests: in the VM each takes seconds to make.
class UsbUnits {
 protected:
  void PlugInBoth() {
    if (access("/sys/kernel/config/usb_gadget", F_OK) != 0) {
      SKIP_OUTSIDE_VM("no USB gadgets on this machine (the test VM has them)");
    }
    static UsbMidiUnit unit_a("A", 0);
    static UsbMidiUnit unit_b("B", 1);
    a = &unit_a;
    b = &unit_b;
    for (UsbMidiUnit* unit : {a, b}) {
      if (unit->Ready() && !unit->Plugged()) unit->Plug();  // a test that failed half-way
      ASSERT_TRUE(unit->Ready()) << unit->Why();
      unit->Clear();
    }
  }

  UsbMidiUnit* a = nullptr;
  UsbMidiUnit* b = nullptr;
};

// Sends until the backend has found the port again, or the limit.
MMRESULT SendWhenBack(HMIDIOUT out, DWORD message) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  MMRESULT result;
  while ((result = midiOutShortMsg(out, message)) != MMSYSERR_NOERROR &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  return result;
}

// Sends until a send fails, as it must once the backend has heard of the unplug.
MMRESULT SendUntilRefused(HMIDIOUT out, DWORD message) {
  const auto deadline = std::chrono::steady_clock::now() + 20s;
  MMRESULT result;
  while ((result = midiOutShortMsg(out, message)) == MMSYSERR_NOERROR &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(10ms);
  }
  return result;
}

// The ALSA backend, on the two units.
class AlsaUsbTest : public ::testing::Test, protected UsbUnits {
 protected:
  void SetUp() override {
    PlugInBoth();
    if (HasFatalFailure() || IsSkipped()) return;
    std::string why;
    std::unique_ptr<MidiBackend> backend = OpenAlsaMidiBackend(why);
    ASSERT_TRUE(backend) << why;
    SetMidiBackend(std::move(backend));
  }
  void TearDown() override {
    SetMidiBackend(nullptr);
  }
};

TEST_F(AlsaUsbTest, TwoIdenticalUnitsAreListedApartAndEachGetsOnlyWhatIsSentToIt) {
  const int unit_a = OutputAt(a->Address());
  const int unit_b = OutputAt(b->Address());
  ASSERT_GE(unit_a, 0) << "unit A at " << a->Address() << " is listed with its address";
  ASSERT_GE(unit_b, 0) << "unit B at " << b->Address() << " is listed with its address";
  const MidiDeviceInfo info_a = OutputInfo(unit_a);
  const MidiDeviceInfo info_b = OutputInfo(unit_b);
  EXPECT_EQ(info_a.name, kCable);
  EXPECT_EQ(info_b.name, kCable);
  EXPECT_NE(info_a.identity, info_b.identity);
  for (const int device : {unit_a, unit_b}) {
    MIDIOUTCAPSA caps{};
    ASSERT_EQ(midiOutGetDevCapsA(static_cast<UINT>(device), &caps, sizeof caps), MMSYSERR_NOERROR);
    EXPECT_EQ(std::string(caps.szPname).rfind("TQX Cable", 0), 0u) << caps.szPname;
    EXPECT_EQ(caps.wTechnology, MOD_MIDIPORT);
  }

  for (const auto& [device, to, other] : {std::tuple{unit_a, a, b}, {unit_b, b, a}}) {
    HMIDIOUT out = nullptr;
    ASSERT_EQ(midiOutOpen(&out, static_cast<UINT>(device), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
    std::vector<uint8_t> parameter{0xF0, 0x70, 0x7B, 0x00, 0x29, 0x05, 0x0A, 0xF7};
    MIDIHDR header{};
    header.lpData = reinterpret_cast<LPSTR>(parameter.data());
    header.dwBufferLength = static_cast<DWORD>(parameter.size());
    ASSERT_EQ(midiOutPrepareHeader(out, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutShortMsg(out, 0x006407B0), MMSYSERR_NOERROR);
    EXPECT_EQ(midiOutLongMsg(out, &header, sizeof header), MMSYSERR_NOERROR);
    EXPECT_EQ(to->WaitFor(2), (Texts{"B0 07 64", "F0 70 7B 00 29 05 0A F7"})) << "sent to " << device;
    EXPECT_EQ(other->Received(), Texts{}) << "sent to " << device;
    EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
    to->Clear();
  }
}

TEST_F(AlsaUsbTest, AnUnpluggedUnitIsFoundAgainAsItselfNeverAsItsTwin) {
  const int unit_a = OutputAt(a->Address());
  ASSERT_GE(unit_a, 0);
  HMIDIOUT out = nullptr;
  ASSERT_EQ(midiOutOpen(&out, static_cast<UINT>(unit_a), 0, 0, CALLBACK_NULL), MMSYSERR_NOERROR);
  ASSERT_EQ(midiOutShortMsg(out, 0x006407B0), MMSYSERR_NOERROR);
  ASSERT_EQ(a->WaitFor(1), Texts{"B0 07 64"});

  ASSERT_TRUE(a->Unplug()) << a->Why();
  EXPECT_EQ(SendUntilRefused(out, 0x006507B0), MMSYSERR_NODRIVER);
  // B goes and comes back meanwhile: the same name, another unit.
  ASSERT_TRUE(b->Unplug()) << b->Why();
  ASSERT_TRUE(b->Plug()) << b->Why();
  testing_support::SettledDeviceGeneration();  // B's return has been heard
  EXPECT_EQ(midiOutShortMsg(out, 0x006607B0), MMSYSERR_NODRIVER) << "the port went over to B";

  ASSERT_TRUE(a->Plug()) << a->Why();
  EXPECT_EQ(SendWhenBack(out, 0x006707B0), MMSYSERR_NOERROR);
  EXPECT_EQ(a->WaitFor(2), (Texts{"B0 07 64", "B0 07 67"}));
  EXPECT_EQ(b->Received(), Texts{});
  EXPECT_EQ(midiOutClose(out), MMSYSERR_NOERROR);
}

// The editor as a user starts it with both units plugged in.
class AlsaUsbEditor : public ::testing::Test, protected UsbUnits {
 protected:
  void SetUp() override {
    PlugInBoth();
    if (HasFatalFailure() || IsSkipped()) return;
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

  // The user picks the entry in cmbOutput; the list is in device order.
  void Choose(int item) {
    form->cmbOutput->SetItemIndex(item);
    emit form->cmbOutput->activated(item);
  }
  // Once the window has caught up with the devices now there.
  bool ListCaughtUp() {
    testing_support::SettledDeviceGeneration();
    return QTest::qWaitFor([&] {
      return form->cmbOutput->count() == static_cast<int>(midiOutGetNumDevs());
    }, 10000);
  }

  ui::ScriptedDialogs dialogs;
  TForm1* form = nullptr;
};

TEST_F(AlsaUsbEditor, ListsBothUnitsApartSendsToTheOneChosenAndFindsItAgainAfterAnUnplug) {
  // Start-up lists both, each under a text of its own.
  ASSERT_TRUE(ListCaughtUp());
  const int item_a = OutputAt(a->Address());
  const int item_b = OutputAt(b->Address());
  ASSERT_GE(item_a, 0);
  ASSERT_GE(item_b, 0);
  const std::string text_a = form->cmbOutput->itemText(item_a).toStdString();
  const std::string text_b = form->cmbOutput->itemText(item_b).toStdString();
  EXPECT_NE(text_a.find("TQX Cable"), std::string::npos) << text_a;
  EXPECT_NE(text_b.find("TQX Cable"), std::string::npos) << text_b;
  EXPECT_NE(text_a, text_b);

  // Each gets what is sent while it is the one chosen, and only that.
  for (const auto& [item, to, other] : {std::tuple{item_b, b, a}, {item_a, a, b}}) {
    Choose(item);
    EXPECT_EQ(form->cmbOutput->ItemIndex(), item);
    form->SendParameter(0, 41, 0xA5);
    EXPECT_EQ(to->WaitFor(1), Texts{"F0 70 7B 00 29 05 0A F7"}) << form->cmbOutput->itemText(item).toStdString();
    EXPECT_EQ(other->Received(), Texts{}) << form->cmbOutput->itemText(item).toStdString();
    to->Clear();
  }
  ASSERT_TRUE(dialogs.Errors().empty()) << dialogs.Errors()[0];

  // A is pulled out: the window shows it gone, and a transfer fails.
  ASSERT_TRUE(a->Unplug()) << a->Why();
  EXPECT_TRUE(QTest::qWaitFor([&] { return form->cmbOutput->ItemIndex() < 0; }, 10000));
  form->SpeedButton7->click();  // Send Config to MIDI
  EXPECT_EQ(dialogs.Errors(), Texts{kNoDriver});

  // B goes and comes back meanwhile: the port stays with A.
  ASSERT_TRUE(b->Unplug()) << b->Why();
  ASSERT_TRUE(b->Plug()) << b->Why();
  ASSERT_TRUE(ListCaughtUp());
  EXPECT_LT(form->cmbOutput->ItemIndex(), 0) << "shown on B: " << form->cmbOutput->currentText().toStdString();
  form->SpeedButton7->click();
  EXPECT_EQ(dialogs.Errors(), (Texts{kNoDriver, kNoDriver}));
  EXPECT_EQ(b->Received(), Texts{});

  // A is back: the window shows it in use, and the next transfer reaches A alone.
  ASSERT_TRUE(a->Plug()) << a->Why();
  EXPECT_TRUE(QTest::qWaitFor([&] {
    const int item = OutputAt(a->Address());
    return item >= 0 && form->cmbOutput->ItemIndex() == item;
  }, 10000)) << "shown: " << form->cmbOutput->currentText().toStdString();
  const std::array<int, 32> record = form->GetConfigRecord();
  Texts config;
  for (int i = 0; i < 32; ++i) config.push_back(Parameter(32 + i, record[i]));
  form->SpeedButton7->click();
  EXPECT_EQ(a->WaitFor(config.size()), config);
  EXPECT_EQ(b->Received(), Texts{});
  EXPECT_EQ(dialogs.Errors().size(), 2u) << "no error once A is back";
}

}  // namespace
