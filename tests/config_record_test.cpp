// The configuration record, its flag bytes, the controller lists and the full
// transfer with its progress window.
#include <gtest/gtest.h>

#include <QImage>
#include <QScreen>
#include <QTest>
#include <functional>
#include <set>

#include "app/form1.h"
#include "config/controller_names.h"
#include "midi/midi_output.h"
#include "midi/platform/virtual_backend.h"
#include "support/editor_fixture.h"
#include "support/test_support.h"
#include "table/form2.h"

namespace {

using Texts = std::vector<std::string>;
using testing_support::EditorFixture;

// What a full transfer sends with every control at its form default.
const Texts kDefaultRecord = {
    "F0 70 7B 00 20 00 00 F7", "F0 70 7B 00 21 08 01 F7", "F0 70 7B 00 22 00 00 F7",
    "F0 70 7B 00 23 0F 0F F7", "F0 70 7B 00 24 0F 0F F7", "F0 70 7B 00 25 0F 0F F7",
    "F0 70 7B 00 26 0F 0F F7", "F0 70 7B 00 27 0F 0F F7", "F0 70 7B 00 28 0F 0F F7",
    "F0 70 7B 00 29 00 00 F7", "F0 70 7B 00 2A 00 00 F7", "F0 70 7B 00 2B 00 00 F7",
    "F0 70 7B 00 2C 0F 03 F7", "F0 70 7B 00 2D 0F 03 F7", "F0 70 7B 00 2E 0C 00 F7",
    "F0 70 7B 00 2F 08 01 F7", "F0 70 7B 00 30 00 00 F7", "F0 70 7B 00 31 00 00 F7",
    "F0 70 7B 00 32 0F 0F F7", "F0 70 7B 00 33 0F 0F F7", "F0 70 7B 00 34 0F 0F F7",
    "F0 70 7B 00 35 0F 0F F7", "F0 70 7B 00 36 00 04 F7", "F0 70 7B 00 37 00 04 F7",
    "F0 70 7B 00 38 00 04 F7", "F0 70 7B 00 39 00 04 F7", "F0 70 7B 00 3A 0C 00 F7",
    "F0 70 7B 00 3B 00 00 F7", "F0 70 7B 00 3C 00 00 F7", "F0 70 7B 00 3D 00 00 F7",
    "F0 70 7B 00 3E 00 00 F7", "F0 70 7B 00 3F 00 00 F7",
};

class ConfigRecord : public EditorFixture {
 protected:
  void SendConfig() { form->SpeedButton7->click(); }
  // The value byte pair of parameter p in a full transfer ("0F 0F").
  std::string ValueOf(const Texts& sent, int p) { return sent.at(p - 32).substr(15, 5); }
};

// ---- controller lists ----

TEST_F(ConfigRecord, EverySourceListHoldsThe128ControllerEntriesWithNoneSelected) {
  const std::set<int> unnamed = [] {
    std::set<int> s{4, 10, 15, 16, 36, 42};
    for (int i = 21; i <= 32; ++i) s.insert(i);
    for (int i = 47; i <= 64; ++i) s.insert(i);
    for (int i = 85; i <= 91; ++i) s.insert(i);
    for (int i = 103; i <= 120; ++i) s.insert(i);
    return s;
  }();
  ASSERT_EQ(unnamed.size(), 61u);
  for (TComboBox* list : {form->ComboBox5, form->ComboBox6, form->ComboBox1, form->ComboBox2,
                          form->ComboBox7, form->ComboBox8, form->ComboBox3, form->ComboBox4,
                          form->ComboBox9, form->ComboBox10}) {
    ASSERT_EQ(list->count(), 128);
    EXPECT_EQ(list->ItemIndex(), 0);
    EXPECT_EQ(list->itemText(0), "----- none-------");
    for (int i = 1; i < 128; ++i) {
      const bool numbered = list->itemText(i).startsWith(u"Controler n\u00B0 ");
      EXPECT_EQ(numbered, unnamed.count(i) == 1) << i;
    }
  }
  EXPECT_EQ(ControllerName(4), u"Controler n\u00B0 3");
  EXPECT_EQ(ControllerName(120), u"Controler n\u00B0 119");
  EXPECT_EQ(ControllerName(1), "Bank Select");
  EXPECT_EQ(ControllerName(65), "Hold Pedal (on/off)  ");
  EXPECT_EQ(ControllerName(71), "Sound Variation    ");
  EXPECT_EQ(ControllerName(98), "Data Button decrement ");
  EXPECT_EQ(ControllerName(127), "Mono Operation");
}

// ---- full transfer ----

TEST_F(ConfigRecord, DefaultRecordIs32MessagesInParameterOrder) {
  SendConfig();
  EXPECT_EQ(SentHex(), kDefaultRecord);
  EXPECT_TRUE(dialogs->Errors().empty());
}

TEST_F(ConfigRecord, WriteToFlashOptionAddsTheCommandLast) {
  form->CheckBox25->SetChecked(true);
  SendConfig();
  Texts expected = kDefaultRecord;
  expected.push_back("F0 70 7B 00 7F 04 03 F7");
  EXPECT_EQ(SentHex(), expected);
}

TEST_F(ConfigRecord, RecordFollowsTheControls) {
  form->ud_DeviceID->SetPosition(19);  // only the low four bits address: device 2
  form->UpDown1->SetPosition(16);
  form->UpDown2->SetPosition(60);
  form->ComboBox6->SetItemIndex(8);      // Volume: controller 7
  form->ComboBox2->SetItemIndex(127);    // controller 126, in the hidden fourth row
  form->ComboBox7->SetItemIndex(-1);     // as when typed text matches no entry
  form->UpDown5->SetPosition(0);         // gate 5 level - 1
  form->UpDown3->SetPosition(127);
  form->UpDown4->SetPosition(255);
  form->UpDown8->SetPosition(128);
  form->UpDown11->SetPosition(100);      // gate 1..4 levels travel as they are
  form->UpDown17->SetPosition(127);
  // Hidden by the 3-voice variant, still sent.
  form->RadioButton5->click();
  form->RadioButton4->click();
  SendConfig();

  const Texts sent = SentHex();
  ASSERT_EQ(sent.size(), 32u);
  for (const std::string& message : sent) EXPECT_EQ(message.substr(9, 2), "02");
  EXPECT_EQ(ValueOf(sent, 32), "0F 00");
  EXPECT_EQ(ValueOf(sent, 33), "0C 03");
  EXPECT_EQ(ValueOf(sent, 34), "02 01");  // the full device ID - 1, 18
  EXPECT_EQ(ValueOf(sent, 36), "07 00");
  EXPECT_EQ(ValueOf(sent, 38), "0E 07");
  EXPECT_EQ(ValueOf(sent, 39), "0E 0F");  // -2
  EXPECT_EQ(ValueOf(sent, 44), "0F 0F");  // -1
  EXPECT_EQ(ValueOf(sent, 45), "0E 07");
  EXPECT_EQ(ValueOf(sent, 46), "0F 0F");
  EXPECT_EQ(ValueOf(sent, 47), "00 08");
  EXPECT_EQ(ValueOf(sent, 54), "04 06");
  EXPECT_EQ(ValueOf(sent, 61), "0F 07");
}

TEST_F(ConfigRecord, FlagBytesTravelWithTheRecord) {
  form->RadioButton1->click();
  form->CheckBox17->click();
  form->midiclockCFG->click();
  form->SetConfigByte1(0xA5);
  form->SetConfigByte2(0x5A);
  form->SetConfigByte3(0xFF);
  form->SetConfigByte4(0x81);
  ClearSent();
  SendConfig();
  const Texts sent = SentHex();
  EXPECT_EQ(ValueOf(sent, 41), "01 0C");  // Polyphonic + 4 Voices + MIDI Clock
  EXPECT_EQ(ValueOf(sent, 42), "05 0A");
  EXPECT_EQ(ValueOf(sent, 43), "0A 05");
  EXPECT_EQ(ValueOf(sent, 48), "0E 00");  // bit 0 has no box
  EXPECT_EQ(ValueOf(sent, 49), "01 08");
}

// Progress and visibility of the progress window, read at each pacing wait.
class WatchingClock : public testing_support::InstantClock {
 public:
  std::chrono::nanoseconds Now() override {
    if (seen.empty() || seen.back() != Form2->CGauge1->Progress())
      seen.push_back(Form2->CGauge1->Progress());
    if (!Form2->isVisible()) hiddenWhileSending = true;
    if (onRead) onRead();
    return InstantClock::Now();
  }
  std::vector<int> seen;
  bool hiddenWhileSending = false;
  std::function<void()> onRead;
};

TEST_F(ConfigRecord, ProgressWindowShowsTheTransferAndClosesAfterIt) {
  WatchingClock watch;
  PacingClock::Install(&watch);
  Form2->CGauge1->SetProgress(30);  // left over from an earlier transfer
  SendConfig();
  // i x 4 over a 0..47 gauge: full from the thirteenth message on.
  EXPECT_EQ(watch.seen, (std::vector<int>{0, 4, 8, 12, 16, 20, 24, 28, 32, 36, 40, 44, 47}));
  EXPECT_FALSE(watch.hiddenWhileSending);
  EXPECT_FALSE(Form2->isVisible());
}

// Records whether the progress window was on screen when the error was reported.
class ErrorWatcher : public ui::ScriptedDialogs {
 public:
  void ShowError(const std::string& text) override {
    progressShown = Form2->isVisible();
    ScriptedDialogs::ShowError(text);
  }
  bool progressShown = true;
};

TEST_F(ConfigRecord, SendErrorStopsTheTransferAndHidesTheProgressFirst) {
  ErrorWatcher errors;
  WatchingClock watch;
  bool failing = false;
  watch.onRead = [&] {
    if (failing || midi->CallCount(VirtualMidiBackend::Call::OutLongMsg) != 5) return;
    midi->FailNext(VirtualMidiBackend::Call::OutLongMsg, MIDIERR_NOTREADY);
    failing = true;
  };
  PacingClock::Install(&watch);
  form->CheckBox25->SetChecked(true);
  SendConfig();
  const Texts sent = SentHex();
  EXPECT_EQ(sent, Texts(kDefaultRecord.begin(), kDefaultRecord.begin() + 5));
  ASSERT_EQ(errors.Errors().size(), 1u);
  EXPECT_EQ(errors.Errors()[0], form->MidiOutput1->midioutErrorString(MIDIERR_NOTREADY));
  EXPECT_FALSE(errors.progressShown);
  EXPECT_FALSE(Form2->isVisible());
}

// The device goes while a message is queued: the transfer's last message
// reaches no one and is reported once it is done; one lost in the middle is
// reported by the next send's failure alone.
TEST_F(ConfigRecord, AMessageQueuedWhenTheDeviceWentIsReportedOnce) {
  WatchingClock watch;
  int loseAfter = 31, failAfter = -1;  // messages handed over before
  watch.onRead = [&] {
    const int handed = midi->CallCount(VirtualMidiBackend::Call::OutLongMsg);
    if (handed == loseAfter) midi->LoseNextLong(MMSYSERR_NODRIVER);
    if (handed == failAfter) midi->FailAlways(VirtualMidiBackend::Call::OutLongMsg, MMSYSERR_NODRIVER);
    if (handed >= loseAfter) loseAfter = -1;
  };
  PacingClock::Install(&watch);
  const std::string gone = "There is no driver installed on your system.";
  SendConfig();
  // The done notices come from the backend's thread.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !dialogs->Errors().empty(); }, 5000));
  EXPECT_EQ(SentHex(), Texts(kDefaultRecord.begin(), kDefaultRecord.end() - 1));
  EXPECT_EQ(dialogs->Errors(), std::vector<std::string>{gone});

  loseAfter = 32 + 5;
  failAfter = 32 + 6;
  SendConfig();
  EXPECT_TRUE(QTest::qWaitFor([&] { return dialogs->Errors().size() >= 2; }, 5000));
  EXPECT_EQ(SentHex().size(), 31u + 5u);
  EXPECT_EQ(dialogs->Errors(), (std::vector<std::string>{gone, gone}));
}

// What the progress window shows on screen, grabbed while the transfer holds the
// GUI thread.
QImage OnScreen() {
  return Form2->screen()->grabWindow(Form2->winId()).toImage().convertToFormat(
      QImage::Format_RGB32);
}

TEST_F(ConfigRecord, ProgressWindowIsOnScreenAndPaintedBeforeTheFirstWait) {
  QImage first;
  WatchingClock watch;
  watch.onRead = [&] {
    if (first.isNull()) first = OnScreen();
  };
  PacingClock::Install(&watch);
  SendConfig();
  ASSERT_EQ(first.size(), QSize(293, 21));
  EXPECT_EQ(first.pixel(0, 0) & 0xFFFFFF, 0x000000u);
  EXPECT_EQ(first.pixel(5, 10) & 0xFFFFFF, 0xC0C0C0u);  // empty bar, 0 %
  EXPECT_EQ(first.pixel(287, 10) & 0xFFFFFF, 0xC0C0C0u);
}

TEST_F(ConfigRecord, ScreenshotHalfWayThroughAPacedTransfer) {
  // The real pacing clock: 100 ms after each message.
  struct PacedWatch : PacingClock {
    std::chrono::nanoseconds Now() override {
      if (shot.isNull() && Form2->CGauge1->Progress() == 24) shot = OnScreen();
      return std::chrono::steady_clock::now().time_since_epoch();
    }
    QImage shot;
  } paced;
  PacingClock::Install(&paced);
  SendConfig();
  EXPECT_EQ(SentHex(), kDefaultRecord);
  ASSERT_FALSE(paced.shot.isNull());
  const auto path = testing_support::ArtifactDir() / "progress_window_half_way.png";
  EXPECT_TRUE(paced.shot.save(QString::fromStdString(path.string())));
  // 51 %: the bar fills x = 1..147 (bottom row, below the text).
  ASSERT_EQ(paced.shot.size(), QSize(293, 21));
  for (int x = 1; x < 292; ++x)
    ASSERT_EQ(paced.shot.pixel(x, 19) & 0xFFFFFF, x < 148 ? 0x00FFFFu : 0xC0C0C0u) << x;
}

// ---- flag bytes ----

struct FlagBit {
  int byte;
  int mask;
  TCheckBox* TForm1::* box;
};

TEST_F(ConfigRecord, EachFlagBitSetsAndReadsItsOwnBox) {
  const std::vector<FlagBit> bits = {
      {1, 0x01, &TForm1::CheckBox6},  {1, 0x02, &TForm1::CheckBox5},
      {1, 0x04, &TForm1::CheckBox4},  {1, 0x08, &TForm1::CheckBox13},
      {1, 0x10, &TForm1::CheckBox3},  {1, 0x20, &TForm1::CheckBox2},
      {1, 0x40, &TForm1::CheckBox1},  {1, 0x80, &TForm1::CheckBox12},
      {2, 0x01, &TForm1::CheckBox7},  {2, 0x02, &TForm1::CheckBox8},
      {2, 0x04, &TForm1::CheckBox15}, {2, 0x08, &TForm1::CheckBox14},
      {2, 0x10, &TForm1::CheckBox19}, {2, 0x20, &TForm1::CheckBox18},
      {2, 0x40, &TForm1::CheckBox20}, {2, 0x80, &TForm1::CheckBox21},
      {3, 0x02, &TForm1::CheckBox9},  {3, 0x04, &TForm1::CheckBox24},
      {3, 0x08, &TForm1::CheckBox23}, {4, 0x01, &TForm1::CheckBox29},
      {4, 0x02, &TForm1::CheckBox30}, {4, 0x04, &TForm1::CheckBox33},
      {4, 0x08, &TForm1::CheckBox34}, {4, 0x10, &TForm1::CheckBox28},
      {4, 0x20, &TForm1::CheckBox27}, {4, 0x40, &TForm1::CheckBox32},
      {4, 0x80, &TForm1::CheckBox31},
  };
  auto set = [this](int byte, int value) {
    switch (byte) {
      case 1: form->SetConfigByte1(value); break;
      case 2: form->SetConfigByte2(value); break;
      case 3: form->SetConfigByte3(value); break;
      default: form->SetConfigByte4(value); break;
    }
  };
  auto get = [this](int byte) {
    switch (byte) {
      case 1: return form->GetConfigByte1();
      case 2: return form->GetConfigByte2();
      case 3: return form->GetConfigByte3();
      default: return form->GetConfigByte4();
    }
  };
  for (const FlagBit& bit : bits) {
    set(bit.byte, bit.mask);
    for (const FlagBit& other : bits) {
      if (other.byte != bit.byte) continue;
      EXPECT_EQ((form->*other.box)->Checked(), other.box == bit.box)
          << "CFG" << bit.byte << " mask " << bit.mask;
    }
    EXPECT_EQ(get(bit.byte), bit.mask);
  }
  form->SetConfigByte3(0xFF);
  EXPECT_EQ(form->GetConfigByte3(), 0x0E);
}

TEST_F(ConfigRecord, SettingTheFirstFlagByteReachesPolyphonicThroughTheModeHandlers) {
  form->SetConfigByte0(0x80 | 0x40 | 0x08 | 0x04);
  EXPECT_TRUE(form->RadioButton1->Checked());
  EXPECT_FALSE(form->RadioButton2->Checked());
  EXPECT_TRUE(form->CheckBox17->Checked());
  EXPECT_TRUE(form->CheckBox22->Checked());
  EXPECT_TRUE(form->CheckBox16->Checked());
  EXPECT_EQ(form->GetConfigByte0(), 0xCC);
  // Four voices: CV sources off, the "Tab" boxes on, Retrigg off.
  EXPECT_FALSE(form->ComboBox1->isEnabled());
  EXPECT_TRUE(form->CheckBox15->isEnabled());
  EXPECT_FALSE(form->CheckBox16->isEnabled());
  // Start/Stop holds gate 5.
  EXPECT_FALSE(form->ComboBox7->isEnabled());
  EXPECT_FALSE(form->TrackBar5->isEnabled());

  form->SetConfigByte0(0x00);
  EXPECT_TRUE(form->RadioButton2->Checked());
  EXPECT_FALSE(form->RadioButton1->Checked());
  EXPECT_EQ(form->GetConfigByte0(), 0x00);
  EXPECT_TRUE(form->ComboBox7->isEnabled());
  EXPECT_TRUE(form->CheckBox16->isEnabled());
}

TEST_F(ConfigRecord, ControlersBitWinsOverPolyphonicAndClearsTheVeloAndStartStopBits) {
  form->SetConfigByte2(0x10);  // gate 5 Velo
  form->SetConfigByte0(0x80 | 0x20 | 0x10 | 0x08 | 0x02);
  EXPECT_TRUE(form->RadioButton3->Checked());
  EXPECT_FALSE(form->RadioButton1->Checked());
  EXPECT_FALSE(form->RadioButton2->Checked());
  for (TCheckBox* box : {form->CheckBox22, form->CheckBox10, form->CheckBox11, form->CheckBox19})
    EXPECT_FALSE(box->Checked());
  EXPECT_EQ(form->GetConfigByte0(), 0x02);
  EXPECT_EQ(form->GetConfigByte2(), 0x00);
}

TEST_F(ConfigRecord, FirstFlagByteSelectsTheDividerButtonFromTheDividerField) {
  const std::vector<std::pair<int, TRadioButton*>> cases = {
      {3, form->RadioButton6},   {6, form->RadioButton7},   {12, form->RadioButton12},
      {24, form->RadioButton24}, {48, form->RadioButton48}, {96, form->RadioButton96},
      {5, form->RadioButton8},   {128, form->RadioButton8}};
  for (auto [divider, button] : cases) {
    form->RadioButton7->click();  // a preset that differs from most cases
    form->UpDown8->SetPosition(divider);
    form->SetConfigByte0(0);
    EXPECT_TRUE(button->Checked()) << divider;
    EXPECT_EQ(form->UpDown8->Position(), divider);
  }
}

TEST_F(ConfigRecord, FirstFlagByteEndsWithTheMidiClockRule) {
  form->SetConfigByte0(0x01);
  EXPECT_TRUE(form->midiclockCFG->Checked());
  for (QWidget* w : std::initializer_list<QWidget*>{form->ComboBox8, form->CheckBox18,
                                                    form->CheckBox21, form->Edit2, form->UpDown3,
                                                    form->TrackBar8})
    EXPECT_FALSE(w->isEnabled());
}

TEST_F(ConfigRecord, SecondPassOfTheThirdFlagByteSetsTheGateSourcesFromTheVeloBits) {
  form->CheckBox22->click();  // Start/Stop disables gate 5's source
  form->SetConfigByte2(0x00);
  EXPECT_TRUE(form->ComboBox7->isEnabled());
  form->SetConfigByte2(0x30);
  EXPECT_FALSE(form->ComboBox7->isEnabled());
  EXPECT_FALSE(form->ComboBox8->isEnabled());
}

}  // namespace
