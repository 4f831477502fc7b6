// Start-up lists the MIDI devices and opens the output port; closing the window
// closes it.
#include <gtest/gtest.h>

#include <QSettings>
#include <QTemporaryDir>
#include <QTest>

#include "app/form1.h"
#include "midi/midi_input.h"
#include "midi/midi_output.h"
#include "midi/platform/virtual_backend.h"
#include "protocol/pacing_clock.h"
#include "support/editor_fixture.h"
#include "support/test_support.h"

namespace {

using Call = VirtualMidiBackend::Call;

class DeviceLists : public ::testing::Test {
 protected:
  void SetUp() override {
    // A close saves the output chosen: no test may start on another's choice.
    ASSERT_TRUE(settingsDir.isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir.path());
    auto backend = std::make_unique<VirtualMidiBackend>();
    midi = backend.get();
    SetMidiBackend(std::move(backend));
    PacingClock::Install(&clock);
  }
  void TearDown() override {
    form.reset();
    PacingClock::Install(nullptr);
    SetMidiBackend(nullptr);
  }
  void Start() {
    form = std::make_unique<TForm1>();
    form->show();
  }
  // What the user's choice in a drop-down list does.
  static void Choose(TComboBox* list, int index) {
    list->SetItemIndex(index);
    emit list->activated(index);
  }
  QStringList Items(TComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
  }

  // Sends one parameter message to the port, as the editor does.
  void Send() { form->SendParameter(0, 41, 0xA5); }
  std::vector<std::string> SentHex(int device) {
    std::vector<std::string> texts;
    for (const auto& message : midi->Sent(device)) texts.push_back(testing_support::Hex(message));
    return texts;
  }

  QTemporaryDir settingsDir;
  VirtualMidiBackend* midi = nullptr;
  ui::ScriptedDialogs dialogs;
  testing_support::InstantClock clock;
  std::unique_ptr<TForm1> form;
};

TEST_F(DeviceLists, ListsTheDevicesAndOpensTheFirstMidiPort) {
  midi->AddInputDevice("Keyboard In");
  midi->AddInputDevice("Sequencer In");
  midi->AddOutputDevice("Soft Synth", MOD_SYNTH);
  midi->AddOutputDevice("USB MIDI Out", MOD_MIDIPORT);
  Start();
  EXPECT_EQ(Items(form->cmbInput), QStringList({"Keyboard In", "Sequencer In"}));
  EXPECT_EQ(Items(form->cmbOutput), QStringList({"Soft Synth", "USB MIDI Out"}));
  EXPECT_EQ(form->cmbInput->ItemIndex(), 0);
  // The port opened on the second device, and the list shows it.
  EXPECT_EQ(form->MidiOutput1->State(), mosOpen);
  EXPECT_EQ(form->MidiOutput1->DeviceID(), 1);
  EXPECT_EQ(form->cmbOutput->ItemIndex(), 1);
  EXPECT_EQ(form->cmbOutput->Text(), "USB MIDI Out");
  EXPECT_TRUE(midi->OutputOpen(1));
  EXPECT_EQ(form->MidiInput1->ProductName(), "Keyboard In");
  EXPECT_EQ(form->MidiInput1->State(), misClosed);  // selected, never opened
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(DeviceLists, ChoosingAnotherOutputSendsThereAndNothingToTheFirst) {
  midi->AddInputDevice("Keyboard In");
  midi->AddOutputDevice("Keyboard Out", MOD_MIDIPORT);
  midi->AddOutputDevice("USB MIDI Out", MOD_MIDIPORT);
  Start();
  ASSERT_TRUE(midi->OutputOpen(0));
  Choose(form->cmbOutput, 1);
  EXPECT_FALSE(midi->OutputOpen(0));
  EXPECT_TRUE(midi->OutputOpen(1));
  EXPECT_EQ(form->MidiOutput1->DeviceID(), 1);
  EXPECT_EQ(form->cmbOutput->Text(), "USB MIDI Out");
  form->SendParameter(0, 41, 0xA5);
  EXPECT_TRUE(midi->Sent(0).empty());
  ASSERT_EQ(midi->Sent(1).size(), 1u);
  EXPECT_EQ(testing_support::Hex(midi->Sent(1)[0]), "F0 70 7B 00 29 05 0A F7");
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(DeviceLists, AnOutputThatCannotOpenIsShownAndThePortGoesBackToTheOneInUse) {
  midi->AddInputDevice("Keyboard In");
  midi->AddOutputDevice("USB MIDI Out", MOD_MIDIPORT);
  midi->AddOutputDevice("Busy Out", MOD_MIDIPORT);
  Start();
  midi->FailNext(Call::OutOpen, MMSYSERR_ALLOCATED);
  Choose(form->cmbOutput, 1);
  EXPECT_EQ(dialogs.Errors(),
            std::vector<std::string>{form->MidiOutput1->midioutErrorString(MMSYSERR_ALLOCATED)});
  EXPECT_TRUE(midi->OutputOpen(0));
  EXPECT_EQ(form->cmbOutput->ItemIndex(), 0);
  EXPECT_EQ(form->cmbOutput->Text(), "USB MIDI Out");
  form->SendParameter(0, 41, 0xA5);
  EXPECT_EQ(midi->Sent(0).size(), 1u);

  // An entry whose device went before the list followed: the same.
  midi->FailNext(Call::OutGetDevCaps, MMSYSERR_NODRIVER);
  Choose(form->cmbOutput, 1);
  EXPECT_EQ(dialogs.Errors().size(), 2u);
  EXPECT_EQ(dialogs.Errors().back(), form->MidiOutput1->midioutErrorString(MMSYSERR_NODRIVER));
  EXPECT_TRUE(midi->OutputOpen(0));
  EXPECT_EQ(form->cmbOutput->Text(), "USB MIDI Out");
}

TEST_F(DeviceLists, WithoutAMidiPortTheErrorIsShownAndThePortStaysClosed) {
  midi->AddInputDevice("Keyboard In");
  midi->AddOutputDevice("Soft Synth", MOD_SYNTH);
  Start();
  EXPECT_EQ(dialogs.Errors(),
            (std::vector<std::string>{"MIDI output technology MIDI Port not installed"}));
  EXPECT_EQ(form->MidiOutput1->State(), mosClosed);
  EXPECT_TRUE(form->isVisible());
  EXPECT_THROW(form->SendParameter(0, 41, 1), EmidioutputError);
}

TEST_F(DeviceLists, WithoutAnInputDeviceTheEditorStillStartsAndOpensItsOutput) {
  midi->AddOutputDevice("USB MIDI Out", MOD_MIDIPORT);
  Start();
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(form->cmbInput->count(), 0);
  EXPECT_EQ(form->cmbInput->ItemIndex(), -1);
  EXPECT_EQ(form->MidiOutput1->State(), mosOpen);
}

TEST_F(DeviceLists, FailingCapabilityQueryIsShownWithThePlatformText) {
  midi->AddInputDevice("Keyboard In");
  midi->AddOutputDevice("USB MIDI Out", MOD_MIDIPORT);
  midi->FailAlways(Call::OutGetDevCaps, MMSYSERR_NODRIVER);
  Start();
  ASSERT_EQ(dialogs.Errors().size(), 1u);
  char text[128];
  midiOutGetErrorTextA(MMSYSERR_NODRIVER, text, sizeof text);
  EXPECT_EQ(dialogs.Errors()[0], text);
  EXPECT_EQ(form->MidiOutput1->State(), mosClosed);
}

TEST_F(DeviceLists, ClosingTheWindowClosesTheOutputAndRetriesAfterAFailure) {
  midi->AddInputDevice("Keyboard In");
  midi->AddOutputDevice("USB MIDI Out", MOD_MIDIPORT);
  Start();
  midi->FailNext(Call::OutClose, MMSYSERR_ERROR);
  EXPECT_FALSE(form->close());
  EXPECT_TRUE(form->isVisible());
  EXPECT_EQ(dialogs.Errors().size(), 1u);
  EXPECT_TRUE(midi->OutputOpen(0));

  EXPECT_TRUE(form->close());
  EXPECT_FALSE(midi->OutputOpen(0));
  EXPECT_EQ(form->MidiOutput1->State(), mosClosed);
}

// A device plugged in while the editor runs joins the lists at the next look;
// the entries in use stay selected, and nothing is asked while nothing changed.
TEST_F(DeviceLists, ADevicePluggedInLaterJoinsTheListsWithTheOneInUseStillSelected) {
  midi->AddInputDevice("Keyboard In");
  midi->AddOutputDevice("Keyboard Out", MOD_SYNTH);
  midi->AddOutputDevice("USB MIDI Out", MOD_MIDIPORT);
  Start();
  EXPECT_TRUE(form->DeviceWatch->Enabled());
  midi->ClearApiCalls();
  form->DeviceWatch->Tick();
  EXPECT_TRUE(midi->ApiCalls().empty()) << "no change, no question";

  midi->AddOutputDevice("Second Cable", MOD_MIDIPORT);
  midi->AddInputDevice("Second Cable In");
  form->DeviceWatch->Tick();
  EXPECT_EQ(Items(form->cmbOutput), QStringList({"Keyboard Out", "USB MIDI Out", "Second Cable"}));
  EXPECT_EQ(form->cmbOutput->ItemIndex(), 1);
  EXPECT_EQ(form->cmbOutput->Text(), "USB MIDI Out");
  EXPECT_EQ(Items(form->cmbInput), QStringList({"Keyboard In", "Second Cable In"}));
  EXPECT_EQ(form->cmbInput->Text(), "Keyboard In");
  EXPECT_TRUE(midi->OutputOpen(1));

  Choose(form->cmbOutput, 2);  // the new one is reachable
  form->SendParameter(0, 41, 0xA5);
  EXPECT_EQ(midi->Sent(2).size(), 1u);
  EXPECT_TRUE(dialogs.boxes.empty());
}

using Texts = std::vector<std::string>;
const std::string kParameter = "F0 70 7B 00 29 05 0A F7";

// Whole names, though the first two differ only after the 31 bytes the caps
// carry; two identical interfaces apart by their ALSA address, two without one
// by a number.
TEST_F(DeviceLists, DevicesWithTheSameNameAreShownApartAndTheOneChosenGetsTheBytes) {
  midi->AddInputDevice("TQX Cable");
  midi->AddInputDevice("TQX Cable");
  midi->AddOutputDevice("a2j:TQX Cable [20] (playback): TQX Cable MIDI 1");
  midi->AddOutputDevice("a2j:TQX Cable [20] (playback): TQX Cable MIDI 2");
  const int unitA = midi->AddOutputDevice("TQX Cable");
  const int unitB = midi->AddOutputDevice("TQX Cable");
  midi->SetOutputIdentity(unitA, "card-3:28:0", "28:0");
  midi->SetOutputIdentity(unitB, "card-5:36:0", "36:0");
  midi->AddOutputDevice("Soft Synth", MOD_SYNTH);
  midi->AddOutputDevice("Soft Synth", MOD_SYNTH);
  Start();
  EXPECT_EQ(Items(form->cmbOutput),
            QStringList({"a2j:TQX Cable [20] (playback): TQX Cable MIDI 1",
                         "a2j:TQX Cable [20] (playback): TQX Cable MIDI 2",
                         "TQX Cable [28:0]", "TQX Cable [36:0]", "Soft Synth", "Soft Synth #2"}));
  EXPECT_EQ(Items(form->cmbInput), QStringList({"TQX Cable", "TQX Cable #2"}));

  for (const int entry : {1, 3}) {
    Choose(form->cmbOutput, entry);
    EXPECT_EQ(form->cmbOutput->ItemIndex(), entry);
    EXPECT_EQ(form->cmbOutput->Text(), Items(form->cmbOutput)[entry]);
    Send();
  }
  EXPECT_EQ(SentHex(0), Texts{});
  EXPECT_EQ(SentHex(1), Texts{kParameter});
  EXPECT_EQ(SentHex(unitA), Texts{});
  EXPECT_EQ(SentHex(unitB), Texts{kParameter});
  EXPECT_TRUE(dialogs.boxes.empty());
}

// The list was filled before a device came first in the service's order: the
// entry chosen still opens its own device, not the one now at its number.
TEST_F(DeviceLists, ADeviceArrivingFirstBeforeTheListFollowsDoesNotOpenAnother) {
  midi->AddInputDevice("Keyboard In");
  midi->AddOutputDevice("Keyboard Out", MOD_MIDIPORT);
  const int cable = midi->AddOutputDevice("USB MIDI Out", MOD_MIDIPORT);
  Start();
  midi->InsertOutputDevice(0, "Plugged In Meanwhile", MOD_MIDIPORT);
  Choose(form->cmbOutput, 1);
  EXPECT_TRUE(midi->OutputOpen(cable));
  EXPECT_EQ(form->MidiOutput1->DeviceID(), 2);
  Send();
  EXPECT_EQ(SentHex(cable), Texts{kParameter});
  EXPECT_EQ(SentHex(0), Texts{});
  EXPECT_EQ(SentHex(2), Texts{});
  form->DeviceWatch->Tick();
  EXPECT_EQ(form->cmbOutput->ItemIndex(), 2);
  EXPECT_EQ(form->cmbOutput->Text(), "USB MIDI Out");
  EXPECT_TRUE(dialogs.boxes.empty());
}

// Of two identical units, the one in use goes and comes back: meanwhile sends
// fail and the other unit's entry is not shown as in use; then the same unit
// gets the bytes again.
TEST_F(DeviceLists, TheUnitInUseUnpluggedAndPluggedInAgainIsTheOneThatGetsTheBytes) {
  midi->AddInputDevice("Keyboard In");
  const int unitA = midi->AddOutputDevice("TQX Cable");
  const int unitB = midi->AddOutputDevice("TQX Cable");
  Start();
  Choose(form->cmbOutput, 1);
  ASSERT_TRUE(midi->OutputOpen(unitB));

  midi->UnplugOutput(unitB);
  form->DeviceWatch->Tick();
  EXPECT_EQ(Items(form->cmbOutput), QStringList({"TQX Cable"}));
  EXPECT_EQ(form->cmbOutput->ItemIndex(), -1);
  EXPECT_THROW(Send(), EmidioutputError);

  midi->ReplugOutput(unitB);
  form->DeviceWatch->Tick();
  EXPECT_EQ(Items(form->cmbOutput), QStringList({"TQX Cable", "TQX Cable #2"}));
  EXPECT_EQ(form->cmbOutput->ItemIndex(), 1);
  Send();
  EXPECT_EQ(SentHex(unitB), Texts{kParameter});
  EXPECT_EQ(SentHex(unitA), Texts{});
}

}  // namespace
