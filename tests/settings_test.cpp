// Settings kept between runs: what a close writes to the store, and what a start
// makes of the stored values, as controls and as bytes sent.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSettings>
#include <map>
#include <string>
#include <vector>

#include "app/form1.h"
#include "app/settings_store.h"
#include "midi/midi_output.h"
#include "midi/platform/virtual_backend.h"
#include "support/editor_fixture.h"

namespace {

using Texts = std::vector<std::string>;
using Values = std::map<QString, QString>;

// The 38 names in the order a close writes them.
const char* const kSaveOrder[] = {
    "PX",    "PY",    "NREF",  "CAN",   "CRF0",  "CRF1",  "CRF2",  "CRF3",  "CRF4",  "CRF5",
    "TTIME", "THR1",  "THR2",  "MONO",  "POLY",  "CTRL",  "WPFL",  "CFG0",  "CFG1",  "CFG2",
    "CFG3",  "SPD",   "DIV",   "MODEL", "MIDIRT", "CFG4", "GREF1", "GREF2", "GREF3", "GREF4",
    "GNOT1", "GNOT2", "GNOT3", "GNOT4", "GLEV1", "GLEV2", "GLEV3", "GLEV4"};

// A store as a close of a monophonic, 3-voice configuration left it.
Values StoredByUser() {
  return {{"PX", "140"},    {"PY", "90"},     {"NREF", "60"},   {"CAN", "10"},
          {"CRF0", "3"},    {"CRF1", "4"},    {"CRF2", "5"},    {"CRF3", "6"},
          {"CRF4", "7"},    {"CRF5", "8"},    {"TTIME", "200"}, {"THR1", "100"},
          {"THR2", "90"},   {"MONO", "1"},    {"POLY", "0"},    {"CTRL", "0"},
          {"WPFL", "1"},    {"CFG0", "4"},    {"CFG1", "17"},   {"CFG2", "0"},
          {"CFG3", "0"},    {"SPD", "600"},   {"DIV", "48"},    {"MODEL", "1"},
          {"MIDIRT", "0"},  {"CFG4", "16"},   {"GREF1", "10"},  {"GREF2", "11"},
          {"GREF3", "12"},  {"GREF4", "13"},  {"GNOT1", "61"},  {"GNOT2", "62"},
          {"GNOT3", "63"},  {"GNOT4", "64"},  {"GLEV1", "1"},   {"GLEV2", "2"},
          {"GLEV3", "3"},   {"GLEV4", "4"}};
}

std::string Msg(const std::string& body) { return "F0 70 7B 00 " + body + " F7"; }

QSettings Store() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, "Velmont", "TQX512-4voice");
}

// What a user sees of every configuration control: value, enabled, shown.
Texts ControlStates(TForm1& f) {
  Texts states;
  int n = 0;
  for (QWidget* w : f.findChildren<QWidget*>()) {
    std::string state = std::to_string(n++) + " ";
    if (auto* box = dynamic_cast<TCheckBox*>(w))
      state += "box '" + box->text().toStdString() + "' " + (box->Checked() ? "on" : "off");
    else if (auto* radio = dynamic_cast<TRadioButton*>(w))
      state += "radio '" + radio->text().toStdString() + "' " + (radio->Checked() ? "on" : "off");
    else if (auto* upDown = dynamic_cast<TUpDown*>(w))
      state += "up-down " + std::to_string(upDown->Position());
    else if (auto* edit = dynamic_cast<TEdit*>(w))
      state += "edit '" + edit->Text().toStdString() + "'";
    else if (auto* list = dynamic_cast<TComboBox*>(w))
      state += "list " + std::to_string(list->ItemIndex());
    else if (auto* label = dynamic_cast<TLabel*>(w); label && label != f.lbNote)
      state += "label '" + label->Caption().toStdString() + "'";
    else if (dynamic_cast<TTrackBar*>(w))
      state += "slider";
    else
      continue;
    state += w->isEnabled() ? " enabled" : " disabled";
    state += w->isHidden() ? " hidden" : " shown";
    states.push_back(state);
  }
  return states;
}

class Settings : public testing_support::EditorFixture {
 protected:
  void Write(const Values& values) {
    QSettings store = Store();
    store.clear();
    for (const auto& [name, value] : values) store.setValue(name, value);
    store.sync();
    ASSERT_EQ(store.status(), QSettings::NoError);
  }

  // A start on the user's store with some values changed ("" removes one).
  void StartWith(const Values& changes) {
    Values values = StoredByUser();
    for (const auto& [name, value] : changes) {
      if (value.isEmpty())
        values.erase(name);
      else
        values[name] = value;
    }
    Write(values);
    Start();
  }

  // The user closes the editor (the close saves) and starts it again.
  void CloseAndStart() {
    ASSERT_TRUE(form->close());
    Start();
  }

  // A new run of the editor on whatever the store holds.
  void Start() {
    delete form;
    ClearSent();
    Form1 = form = new TForm1;
    form->show();
    ASSERT_EQ(form->MidiOutput1->State(), mosOpen);
  }

  // The fourth CV row's label and list, its test slider and CV 4's PB box.
  std::vector<bool> FourthRowHidden() const {
    return {form->Label14->isHidden(), form->ComboBox2->isHidden(), form->TrackBar3->isHidden(),
            form->CheckBox23->isHidden()};
  }

  static void Choose(TComboBox* list, int index) {
    list->SetItemIndex(index);
    emit list->activated(index);
  }

  // Moves an up-down as a user's arrow click does, so its handler runs.
  static void StepTo(TUpDown* upDown, int position) {
    upDown->SetPosition(position - 1);
    upDown->Step(1);
  }
};

TEST_F(Settings, FirstRunShowsInitialStateAndTheCloseWritesAll38Values) {
  EXPECT_FALSE(QFile::exists(Store().fileName()));
  EXPECT_TRUE(form->RadioButton4->Checked());
  EXPECT_FALSE(form->Label14->isHidden());
  EXPECT_EQ(form->CheckBox17->text(), "4 Voices");
  EXPECT_TRUE(form->RadioButton7->Checked());
  EXPECT_EQ(form->Edit7->Text(), "24");
  EXPECT_EQ(form->Label15->Caption(), "C-1");

  ASSERT_TRUE(form->close());
  QSettings store = Store();
  EXPECT_EQ(store.allKeys().size(), 38);
  for (const char* name : kSaveOrder) EXPECT_TRUE(store.contains(name)) << name;
  EXPECT_EQ(store.value("NREF").toString(), "24");
  EXPECT_EQ(store.value("CAN").toString(), "1");
  EXPECT_EQ(store.value("CRF0").toString(), "0");
  EXPECT_EQ(store.value("MONO").toString(), "1");
  EXPECT_EQ(store.value("POLY").toString(), "0");
  EXPECT_EQ(store.value("DIV").toString(), "24");
  EXPECT_EQ(store.value("SPD").toString(), "1");
  EXPECT_EQ(store.value("MODEL").toString(), "1");
  EXPECT_EQ(store.value("GLEV1").toString(), "64");
  // Plain integers under the file's general section.
  QFile file(store.fileName());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray text = file.readAll();
  EXPECT_TRUE(text.startsWith("[General]\n")) << text.toStdString();
  EXPECT_TRUE(text.contains("\nGNOT1=12\n")) << text.toStdString();
}

TEST_F(Settings, EveryChangedSettingComesBackAfterARestart) {
  form->move(140, 90);
  StepTo(form->UpDown2, 60);
  StepTo(form->UpDown1, 10);
  Choose(form->ComboBox5, 3);
  Choose(form->ComboBox6, 4);
  Choose(form->ComboBox1, 5);
  Choose(form->ComboBox2, 6);
  Choose(form->ComboBox7, 7);
  Choose(form->ComboBox8, 8);
  StepTo(form->UpDown4, 200);
  form->UpDown5->SetPosition(100);
  form->UpDown3->SetPosition(90);
  form->CheckBox16->click();  // Retrigg, before polyphonic disables it
  form->RadioButton1->click();
  form->CheckBox25->click();
  form->midiclockCFG->click();
  form->CheckBox3->click();
  form->CheckBox5->click();
  form->CheckBox12->click();
  form->CheckBox7->click();
  form->CheckBox20->click();
  form->CheckBox23->click();
  form->CheckBox9->click();
  form->UpDown10->SetPosition(600);
  form->RadioButton48->click();
  form->RadioButton5->click();
  form->CheckBox28->SetChecked(true);
  form->CheckBox34->SetChecked(true);
  Choose(form->ComboBox3, 10);
  Choose(form->ComboBox4, 11);
  Choose(form->ComboBox9, 12);
  Choose(form->ComboBox10, -1);  // typed text that matches no entry
  StepTo(form->UpDown14, 60);
  StepTo(form->UpDown15, 61);
  StepTo(form->UpDown16, 62);
  StepTo(form->UpDown17, 127);
  StepTo(form->UpDown11, 1);
  StepTo(form->UpDown9, 2);
  StepTo(form->UpDown13, 3);
  StepTo(form->UpDown12, 4);
  form->CheckBox26->click();
  ASSERT_EQ(form->ComboBox10->ItemIndex(), -1);
  const Texts before = ControlStates(*form);

  CloseAndStart();

  const Texts after = ControlStates(*form);
  ASSERT_EQ(after.size(), before.size());
  for (size_t i = 0; i < after.size(); ++i) EXPECT_EQ(after[i], before[i]);
  EXPECT_EQ(form->pos(), QPoint(140, 90));
  EXPECT_TRUE(form->RadioButton5->Checked());
  EXPECT_FALSE(form->RadioButton4->Checked());
  EXPECT_FALSE(form->ComboBox2->isHidden());
  EXPECT_EQ(form->CheckBox17->text(), "4 Voices");
  EXPECT_TRUE(form->RadioButton48->Checked());
  EXPECT_EQ(form->Edit7->Text(), "48");
  EXPECT_EQ(form->Edit9->Text(), "600");
  EXPECT_EQ(form->Label15->Caption(), "C 3");
  EXPECT_EQ(form->lbNote->Caption(), "C 3");  // table note 0 plus the base note
  // Real-time sending came back on: the play mode (CFG0 = 85) and the divider.
  EXPECT_EQ(SentHex(), (Texts{Msg("29 05 08"), Msg("2F 00 03")}));
}

TEST_F(Settings, TheDeviceIdStartsAtOneOnEveryRun) {
  form->ud_DeviceID->SetPosition(5);
  CloseAndStart();
  EXPECT_EQ(form->ud_DeviceID->Position(), 1);
  EXPECT_EQ(form->Edit5->Text(), "1");
}

TEST_F(Settings, TheCloseSavesBeforeItClosesThePortInSaveOrderAndStopsAtAFailedWrite) {
  struct Recorder : SettingsStore {
    Texts* written;
    bool* portOpenAtSave;
    explicit Recorder(Texts* w, bool* p) : written(w), portOpenAtSave(p) {}
    bool Open(bool create) override {
      *portOpenAtSave = Form1->MidiOutput1->State() == mosOpen;
      return create;
    }
    bool WriteInteger(const char* name, int32_t) override {
      if (std::string(name) == "CFG0") return false;
      written->push_back(name);
      return true;
    }
    bool ReadInteger(const char*, int32_t&) override { return false; }
    void Close() override { written->push_back("closed"); }
  };
  Texts written;
  bool portOpenAtSave = false;
  SettingsStore::Install([&] { return std::make_unique<Recorder>(&written, &portOpenAtSave); });
  const bool closed = form->close();
  SettingsStore::Install(nullptr);

  EXPECT_TRUE(closed);
  EXPECT_TRUE(portOpenAtSave);
  EXPECT_NE(form->MidiOutput1->State(), mosOpen);
  Texts expected(std::begin(kSaveOrder), std::begin(kSaveOrder) + 17);
  expected.push_back("closed");
  EXPECT_EQ(written, expected);
}

// A store from an older version lacks the later names: the load stops at the
// first missing one, and none of the later steps run.
TEST_F(Settings, AStoreWithoutCfg4StopsThere) {
  StartWith({{"CFG4", ""}, {"MIDIRT", "1"}});

  EXPECT_EQ(form->UpDown2->Position(), 60);
  EXPECT_EQ(form->UpDown12->Position(), 4);  // GLEV4 comes before the flag bytes
  EXPECT_TRUE(form->CheckBox16->Checked());  // CFG0
  EXPECT_TRUE(form->CheckBox6->Checked());   // CFG1
  EXPECT_TRUE(form->CheckBox3->Checked());
  EXPECT_FALSE(form->CheckBox28->Checked());  // CFG4 missing
  EXPECT_FALSE(form->CheckBox26->Checked());  // MIDIRT after it
  EXPECT_EQ(form->UpDown10->Position(), 1);
  EXPECT_EQ(form->UpDown8->Position(), 24);
  // No variant switch and no base-note label.
  EXPECT_FALSE(form->Label14->isHidden());
  EXPECT_EQ(form->CheckBox17->text(), "4 Voices");
  EXPECT_EQ(form->Label15->Caption(), "C-1");
  EXPECT_EQ(SentHex(), Texts{});
}

TEST_F(Settings, AStoreWithoutMidirtStopsThere) {
  StartWith({{"MIDIRT", ""}});

  EXPECT_TRUE(form->CheckBox28->Checked());  // CFG4 came before
  EXPECT_FALSE(form->CheckBox26->Checked());
  EXPECT_EQ(form->UpDown10->Position(), 1);
  EXPECT_EQ(form->UpDown8->Position(), 24);
  EXPECT_FALSE(form->Label14->isHidden());
  EXPECT_EQ(form->Label15->Caption(), "C-1");
}

TEST_F(Settings, ModelChoosesTheHardwareVariant) {
  StartWith({{"MODEL", "0"}});
  EXPECT_TRUE(form->RadioButton5->Checked());
  EXPECT_FALSE(form->RadioButton4->Checked());
  EXPECT_EQ(FourthRowHidden(), std::vector<bool>(4, false));
  EXPECT_EQ(form->CheckBox17->text(), "4 Voices");

  StartWith({{"MODEL", "1"}});
  EXPECT_TRUE(form->RadioButton4->Checked());
  EXPECT_FALSE(form->RadioButton5->Checked());
  EXPECT_EQ(FourthRowHidden(), std::vector<bool>(4, true));
  EXPECT_EQ(form->CheckBox17->text(), "3 Voices");
}

TEST_F(Settings, RealTimeSendingRestoredSendsThePlayModeAndADividerOtherThan24) {
  StartWith({{"MIDIRT", "1"}});
  // Monophonic with Retrigg: CFG0 = 04; divider 48.
  EXPECT_EQ(SentHex(), (Texts{Msg("29 04 00"), Msg("2F 00 03")}));
  EXPECT_TRUE(form->CheckBox26->Checked());

  StartWith({{"MIDIRT", "1"}, {"DIV", "24"}});
  EXPECT_EQ(SentHex(), Texts{Msg("29 04 00")});

  StartWith({{"MIDIRT", "0"}});
  EXPECT_EQ(SentHex(), Texts{});
  EXPECT_TRUE(form->RadioButton48->Checked());
}

TEST_F(Settings, AStartThatCannotSendShowsTheErrorOnceAndStillLoadsEverything) {
  midi->FailAlways(VirtualMidiBackend::Call::OutLongMsg, MMSYSERR_INVALHANDLE);
  StartWith({{"MIDIRT", "1"}, {"MODEL", "0"}});
  midi->ClearFailures();
  EXPECT_EQ(dialogs->Errors().size(), 1u);
  EXPECT_TRUE(form->RadioButton48->Checked());
  EXPECT_EQ(form->UpDown10->Position(), 600);
  EXPECT_TRUE(form->RadioButton5->Checked());
  EXPECT_EQ(form->Label15->Caption(), "C 3");
}

// Off the screen is allowed; beyond what window coordinates can hold is not.
TEST_F(Settings, TheWindowGoesWhereTheStoreSaysEvenOffTheScreen) {
  StartWith({{"PX", "-3000"}, {"PY", "5000"}});
  EXPECT_EQ(form->pos(), QPoint(-3000, 5000));

  StartWith({{"PX", "2147483647"}, {"PY", "-2147483648"}});
  EXPECT_EQ(form->pos(), QPoint(32767, -32767));
}

TEST_F(Settings, ADividerWithoutPresetChecksSpecial) {
  StartWith({{"DIV", "7"}});
  EXPECT_TRUE(form->RadioButton8->Checked());
  EXPECT_EQ(form->Edit7->Text(), "7");
}

TEST_F(Settings, AnIndexOfMinusOneRestoresAListWithNothingSelected) {
  StartWith({{"GREF2", "-1"}, {"CRF5", "-1"}});
  EXPECT_EQ(form->ComboBox4->ItemIndex(), -1);
  EXPECT_EQ(form->ComboBox4->Text(), "");
  EXPECT_EQ(form->ComboBox8->ItemIndex(), -1);
  EXPECT_EQ(form->ComboBox3->ItemIndex(), 10);
}

// Every up-down within its range and every list index valid or -1.
void ExpectControlsInRange(TForm1& f) {
  for (QWidget* w : f.findChildren<QWidget*>()) {
    if (auto* upDown = dynamic_cast<TUpDown*>(w)) {
      EXPECT_GE(upDown->Position(), upDown->Min());
      EXPECT_LE(upDown->Position(), upDown->Max());
      EXPECT_EQ(upDown->Associate()->Text(), QString::number(upDown->Position()));
    } else if (auto* list = dynamic_cast<TComboBox*>(w)) {
      EXPECT_GE(list->ItemIndex(), -1);
      EXPECT_LT(list->ItemIndex(), list->count());
    }
  }
}

// Parameter messages only: eight bytes, F0 .. F7, data bytes below 80.
void ExpectValidMessages(const Texts& sent) {
  for (const std::string& message : sent) {
    ASSERT_EQ(message.size(), 8u * 3 - 1) << message;
    EXPECT_EQ(message.substr(0, 9), "F0 70 7B ") << message;
    EXPECT_EQ(message.substr(21), "F7") << message;
    for (size_t at = 9; at < 21; at += 3) EXPECT_LT(message[at], '8') << message;
  }
}

TEST_F(Settings, GarbageInEveryValueLeavesTheInitialStateAndSendsNothing) {
  Values values;
  for (const char* name : kSaveOrder) values[name] = "x1!";
  Write(values);
  Start();
  ExpectControlsInRange(*form);
  EXPECT_EQ(form->UpDown2->Position(), 24);
  EXPECT_EQ(form->Label15->Caption(), "C-1");
  EXPECT_EQ(SentHex(), Texts{});
  EXPECT_TRUE(dialogs->Errors().empty());
}

TEST_F(Settings, AStoreFileOfBinaryGarbageIsReplacedAtTheNextClose) {
  {
    QFile file(Store().fileName());
    ASSERT_TRUE(QDir().mkpath(QFileInfo(file).path()));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    QByteArray garbage;
    for (int i = 0; i < 4096; ++i) garbage.append(static_cast<char>((i * 7919) & 0xFF));
    file.write(garbage);
  }
  Start();
  ExpectControlsInRange(*form);
  EXPECT_EQ(form->UpDown2->Position(), 24);
  EXPECT_EQ(SentHex(), Texts{});
  StepTo(form->UpDown2, 50);
  CloseAndStart();
  EXPECT_EQ(form->UpDown2->Position(), 50);
}

TEST_F(Settings, OnlyTheEditorsOwnStoreIsRead) {
  // The maker's file beside the editor's folder, QSettings' first fallback.
  QSettings maker(QSettings::NativeFormat, QSettings::UserScope, "Velmont");
  for (const auto& [name, value] : StoredByUser()) maker.setValue(name, value);
  maker.setValue("NREF", 77);
  maker.sync();
  ASSERT_EQ(maker.status(), QSettings::NoError);
  Start();
  EXPECT_EQ(form->UpDown2->Position(), 24);
  ASSERT_TRUE(form->close());
  EXPECT_EQ(maker.value("NREF").toInt(), 77) << "nor written";
}

TEST_F(Settings, AValueBeyond32BitsEndsTheLoadThere) {
  StartWith({{"CAN", "4294967296"}});
  EXPECT_EQ(form->UpDown2->Position(), 60);  // NREF came before
  EXPECT_EQ(form->UpDown1->Position(), 1);
  EXPECT_EQ(form->ComboBox5->ItemIndex(), 0);
}

TEST_F(Settings, OutOfRangeNumbersAreClampedAndNothingInvalidIsSent) {
  Values values;
  for (const char* name : kSaveOrder) values[name] = "2147483647";
  values["NREF"] = "-2147483648";
  values["TTIME"] = "-1";
  values["SPD"] = "0";
  values["CRF2"] = "128";
  Write(values);
  Start();

  ExpectControlsInRange(*form);
  EXPECT_EQ(form->UpDown1->Position(), 16);
  EXPECT_EQ(form->EditMidi->Text(), "16");
  EXPECT_EQ(form->UpDown2->Position(), 0);
  EXPECT_EQ(form->UpDown4->Position(), 0);
  EXPECT_EQ(form->UpDown10->Position(), 1);
  EXPECT_EQ(form->UpDown8->Position(), 128);
  EXPECT_TRUE(form->RadioButton8->Checked());
  EXPECT_EQ(form->ComboBox1->ItemIndex(), -1);
  EXPECT_EQ(form->UpDown14->Position(), 127);
  EXPECT_TRUE(form->CheckBox26->Checked());
  const Texts sent = SentHex();
  EXPECT_FALSE(sent.empty());
  ExpectValidMessages(sent);
  // The test messages go out on a valid channel too.
  form->TrackBar9->SetPosition(0);
  EXPECT_EQ(SentHex().back(), "EF 00 00");
}

QByteArray StoreFile() {
  QFile file(Store().fileName());
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// The user picks the second of two identical cables over the first MIDI port
// once: later starts open that cable while it is there, the first MIDI port (not
// the other cable) while it is not. The choice goes beside the 38 values, which stay as they were.
TEST_F(Settings, TheOutputChosenIsOpenedAtEveryStartWhileItIsThere) {
  const int unitA = midi->AddOutputDevice("TQX Cable");
  const int unitB = midi->AddOutputDevice("TQX Cable");
  StartWith({});  // a store from before outputs were kept
  EXPECT_TRUE(midi->OutputOpen(0));
  EXPECT_EQ(form->UpDown2->Position(), 60);
  ASSERT_TRUE(form->close());
  const QByteArray withoutChoice = StoreFile();

  Start();
  Choose(form->cmbOutput, 2);
  CloseAndStart();
  EXPECT_TRUE(midi->OutputOpen(unitB));
  EXPECT_EQ(form->cmbOutput->ItemIndex(), 2);
  EXPECT_EQ(form->cmbOutput->Text(), "TQX Cable #2");
  EXPECT_EQ(form->UpDown2->Position(), 60);
  form->SendParameter(0, 41, 0xA5);
  EXPECT_EQ(midi->Sent(unitB).size(), 1u);
  EXPECT_TRUE(midi->Sent(unitA).empty());
  EXPECT_EQ(SentHex(), Texts{});
  QList<QByteArray> lines = StoreFile().split('\n');
  EXPECT_EQ(lines.removeIf([](const QByteArray& line) { return line.startsWith("OUT"); }), 2);
  EXPECT_EQ(lines.join('\n'), withoutChoice);
  EXPECT_EQ(Store().value("OUTID").toString(), "virtual-out-2");
  EXPECT_EQ(Store().value("OUTNAME").toString(), "TQX Cable");

  midi->UnplugOutput(unitB);
  CloseAndStart();
  EXPECT_TRUE(midi->OutputOpen(0));
  EXPECT_EQ(form->cmbOutput->Text(), "Virtual Out");
  EXPECT_FALSE(midi->OutputOpen(unitA)) << "the other unit of that name is not the one chosen";
  midi->ReplugOutput(unitB);
  CloseAndStart();
  EXPECT_TRUE(midi->OutputOpen(unitB));
}

}  // namespace
