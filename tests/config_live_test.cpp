// Live sending: one test per configuration handler. With real-time sending off
// nothing goes out but the side effects happen; with it on, the exact messages.
#include <gtest/gtest.h>

#include <QTest>

#include "app/form1.h"
#include "support/editor_fixture.h"

namespace {

using Texts = std::vector<std::string>;

class LiveSending : public testing_support::EditorFixture {
 protected:
  void Live(bool on) {
    form->CheckBox26->SetChecked(on);
    ClearSent();
  }
  // What the user's choice in a drop-down list does.
  static void Choose(TComboBox* list, int index) {
    list->SetItemIndex(index);
    emit list->activated(index);
  }
  // Sent since the last call.
  Texts Take() {
    Texts sent = SentHex();
    ClearSent();
    return sent;
  }
};

// "pp vl vh" -> the whole message to device 0.
std::string Msg(const std::string& body) { return "F0 70 7B 00 " + body + " F7"; }

TEST_F(LiveSending, ChannelSendsPositionMinusOne) {
  Live(false);
  form->UpDown1->Step(1);
  EXPECT_EQ(Take(), Texts{});
  EXPECT_EQ(form->EditMidi->Text(), "2");
  Live(true);
  form->UpDown1->Step(1);
  form->ud_DeviceID->SetPosition(12);  // read anew at each send
  form->UpDown1->Step(1);
  EXPECT_EQ(Take(), (Texts{Msg("20 02 00"), "F0 70 7B 0B 20 03 00 F7"}));
}

TEST_F(LiveSending, BaseNoteIsNamedAndSent) {
  Live(false);
  form->UpDown2->Step(1);
  EXPECT_EQ(Take(), Texts{});
  EXPECT_EQ(form->Label15->Caption(), "C#0");
  Live(true);
  form->UpDown2->Step(1);
  EXPECT_EQ(form->Label15->Caption(), "D 0");
  EXPECT_EQ(Take(), Texts{Msg("21 0A 01")});
}

// ---- source lists: the controller, never none ----

struct SourceRow {
  const char* name;
  TComboBox* TForm1::* list;
  const char* parameter;
};
void PrintTo(const SourceRow& row, std::ostream* os) { *os << row.name; }

class SourceList : public LiveSending, public ::testing::WithParamInterface<SourceRow> {};

TEST_P(SourceList, SendsTheControllerButNeverNone) {
  TComboBox* list = form->*GetParam().list;
  const std::string pp = GetParam().parameter;
  Live(false);
  Choose(list, 8);
  EXPECT_EQ(Take(), Texts{});
  Live(true);
  Choose(list, 8);  // "Volume (coarse)", controller 7
  Choose(list, 127);
  Choose(list, 0);   // none
  Choose(list, -1);  // typed text that matches no entry
  EXPECT_EQ(Take(), (Texts{Msg(pp + " 07 00"), Msg(pp + " 0E 07")}));
}

INSTANTIATE_TEST_SUITE_P(Rows, SourceList,
                         ::testing::Values(SourceRow{"ComboBox5", &TForm1::ComboBox5, "23"},
                                           SourceRow{"ComboBox6", &TForm1::ComboBox6, "24"},
                                           SourceRow{"ComboBox1", &TForm1::ComboBox1, "25"},
                                           SourceRow{"ComboBox2", &TForm1::ComboBox2, "26"},
                                           SourceRow{"ComboBox7", &TForm1::ComboBox7, "27"},
                                           SourceRow{"ComboBox8", &TForm1::ComboBox8, "28"},
                                           SourceRow{"ComboBox3", &TForm1::ComboBox3, "32"},
                                           SourceRow{"ComboBox4", &TForm1::ComboBox4, "33"},
                                           SourceRow{"ComboBox9", &TForm1::ComboBox9, "34"},
                                           SourceRow{"ComboBox10", &TForm1::ComboBox10, "35"}),
                         [](const auto& info) { return std::string(info.param.name); });

// ---- check boxes: each sends its whole flag byte ----

enum class Prep { None, Controlers, FourVoices };

using Controls = std::vector<QWidget*>;

struct BoxRow {
  const char* name;
  TCheckBox* TForm1::* box;
  Prep prep;           // a mode in which the box can be clicked
  const char* ticked;  // "pp vl vh" sent when it is ticked
  Controls (*followers)(TForm1&) = nullptr;  // disabled while it is ticked
};
void PrintTo(const BoxRow& row, std::ostream* os) { *os << row.name; }

const std::vector<BoxRow> kBoxRows = {
    {"CheckBox16", &TForm1::CheckBox16, Prep::None, "29 04 00"},
    {"CheckBox10", &TForm1::CheckBox10, Prep::None, "29 00 01",
     [](TForm1& f) -> Controls { return {f.ComboBox1}; }},
    {"CheckBox11", &TForm1::CheckBox11, Prep::None, "29 00 02",
     [](TForm1& f) -> Controls { return {f.ComboBox2}; }},
    // The whole byte goes out, the mode bit with it.
    {"CheckBox22", &TForm1::CheckBox22, Prep::Controlers, "29 0A 00",
     [](TForm1& f) -> Controls {
       return {f.ComboBox7, f.CheckBox19, f.TrackBar5, f.Edit1, f.UpDown5};
     }},
    {"midiclockCFG", &TForm1::midiclockCFG, Prep::None, "29 01 00",
     [](TForm1& f) -> Controls {
       return {f.ComboBox8, f.CheckBox18, f.CheckBox21, f.Edit2, f.UpDown3, f.TrackBar8};
     }},
    {"CheckBox6", &TForm1::CheckBox6, Prep::None, "2A 01 00"},
    {"CheckBox5", &TForm1::CheckBox5, Prep::None, "2A 02 00"},
    {"CheckBox4", &TForm1::CheckBox4, Prep::None, "2A 04 00"},
    {"CheckBox13", &TForm1::CheckBox13, Prep::None, "2A 08 00"},
    {"CheckBox3", &TForm1::CheckBox3, Prep::None, "2A 00 01"},
    {"CheckBox2", &TForm1::CheckBox2, Prep::None, "2A 00 02"},
    {"CheckBox1", &TForm1::CheckBox1, Prep::None, "2A 00 04"},
    {"CheckBox12", &TForm1::CheckBox12, Prep::None, "2A 00 08"},
    {"CheckBox7", &TForm1::CheckBox7, Prep::None, "2B 01 00"},
    {"CheckBox8", &TForm1::CheckBox8, Prep::FourVoices, "2B 02 00"},
    {"CheckBox15", &TForm1::CheckBox15, Prep::FourVoices, "2B 04 00"},
    {"CheckBox14", &TForm1::CheckBox14, Prep::FourVoices, "2B 08 00"},
    {"CheckBox20", &TForm1::CheckBox20, Prep::None, "2B 00 04"},
    {"CheckBox21", &TForm1::CheckBox21, Prep::None, "2B 00 08"},
    {"CheckBox19", &TForm1::CheckBox19, Prep::None, "2B 00 01",
     [](TForm1& f) -> Controls { return {f.ComboBox7}; }},
    {"CheckBox18", &TForm1::CheckBox18, Prep::None, "2B 00 02",
     [](TForm1& f) -> Controls { return {f.ComboBox8}; }},
    {"CheckBox9", &TForm1::CheckBox9, Prep::None, "30 02 00",
     [](TForm1& f) -> Controls { return {f.ComboBox6}; }},
    {"CheckBox24", &TForm1::CheckBox24, Prep::None, "30 04 00",
     [](TForm1& f) -> Controls { return {f.ComboBox1}; }},
    {"CheckBox23", &TForm1::CheckBox23, Prep::None, "30 08 00",
     [](TForm1& f) -> Controls { return {f.ComboBox2}; }},
    {"CheckBox29", &TForm1::CheckBox29, Prep::Controlers, "31 01 00"},
    {"CheckBox30", &TForm1::CheckBox30, Prep::Controlers, "31 02 00"},
    {"CheckBox33", &TForm1::CheckBox33, Prep::Controlers, "31 04 00"},
    {"CheckBox34", &TForm1::CheckBox34, Prep::Controlers, "31 08 00"},
    {"CheckBox28", &TForm1::CheckBox28, Prep::Controlers, "31 00 01",
     [](TForm1& f) -> Controls { return {f.ComboBox3}; }},
    {"CheckBox27", &TForm1::CheckBox27, Prep::Controlers, "31 00 02",
     [](TForm1& f) -> Controls { return {f.ComboBox4}; }},
    {"CheckBox32", &TForm1::CheckBox32, Prep::Controlers, "31 00 04",
     [](TForm1& f) -> Controls { return {f.ComboBox9}; }},
    {"CheckBox31", &TForm1::CheckBox31, Prep::Controlers, "31 00 08",
     [](TForm1& f) -> Controls { return {f.ComboBox10}; }},
};

class Box : public LiveSending, public ::testing::WithParamInterface<BoxRow> {};

TEST_P(Box, SendsItsFlagByteAndHoldsItsFollowers) {
  const BoxRow& row = GetParam();
  TCheckBox* box = form->*row.box;
  if (row.prep == Prep::Controlers) form->RadioButton3->click();
  if (row.prep == Prep::FourVoices) {
    form->RadioButton1->click();
    form->CheckBox17->click();
  }
  const Controls followers = row.followers ? row.followers(*form) : Controls{};
  auto expectFollowers = [&](bool enabled) {
    for (QWidget* follower : followers) EXPECT_EQ(follower->isEnabled(), enabled);
  };
  Live(false);
  box->click();
  EXPECT_TRUE(box->Checked());
  expectFollowers(false);
  box->click();
  expectFollowers(true);
  EXPECT_EQ(Take(), Texts{});
  Live(true);
  box->click();
  EXPECT_EQ(Take(), Texts{Msg(row.ticked)});
}

INSTANTIATE_TEST_SUITE_P(Rows, Box, ::testing::ValuesIn(kBoxRows),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(LiveSending, ModeButtonsAndVoiceCountSendTheFirstFlagByte) {
  Live(false);
  form->RadioButton1->click();
  EXPECT_EQ(Take(), Texts{});
  EXPECT_TRUE(form->CheckBox17->isEnabled());
  Live(true);
  form->CheckBox17->click();
  form->RadioButton3->click();
  form->RadioButton2->click();
  form->RadioButton2->click();  // already selected: runs nothing
  EXPECT_EQ(Take(), (Texts{Msg("29 00 0C"), Msg("29 02 04"), Msg("29 00 04")}));
}

// ---- gate 5/6 levels: sent before the step, as position - 1 ----

struct LevelRow {
  const char* name;
  TUpDown* TForm1::* level;
  TComboBox* TForm1::* source;
  const char* parameter;
};
void PrintTo(const LevelRow& row, std::ostream* os) { *os << row.name; }

class Gate56Level : public LiveSending, public ::testing::WithParamInterface<LevelRow> {};

TEST_P(Gate56Level, SendsThePositionBeforeTheStepMinusOne) {
  TUpDown* level = form->*GetParam().level;
  const std::string pp = GetParam().parameter;
  Live(true);
  level->Step(1);  // source none: nothing
  level->Step(-1);
  EXPECT_EQ(Take(), Texts{});
  Live(false);
  Choose(form->*GetParam().source, 3);
  level->Step(1);
  level->Step(-1);
  EXPECT_EQ(Take(), Texts{});
  Live(true);
  level->Step(1);   // 64 -> 65
  level->Step(-1);  // 65 -> 64
  level->Step(-1);  // 64 -> 63
  level->SetPosition(10);  // code too
  EXPECT_EQ(Take(), (Texts{Msg(pp + " 0F 03"), Msg(pp + " 00 04"), Msg(pp + " 0F 03"),
                           Msg(pp + " 0E 03")}));
  EXPECT_EQ(level->Position(), 10);
}

TEST_P(Gate56Level, TypedNumberMovesTheLevelAndSendsNothing) {
  TUpDown* level = form->*GetParam().level;
  TEdit* edit = level->Associate();
  Choose(form->*GetParam().source, 3);
  Live(true);
  edit->selectAll();
  QTest::keyClicks(edit, "100");
  EXPECT_EQ(Take(), Texts{});
  EXPECT_EQ(level->Position(), 100);
  level->Step(1);  // the next step sends what was typed
  EXPECT_EQ(Take(), Texts{Msg(GetParam().parameter + std::string(" 03 06"))});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Gate56Level,
    ::testing::Values(LevelRow{"UpDown5", &TForm1::UpDown5, &TForm1::ComboBox7, "2C"},
                      LevelRow{"UpDown3", &TForm1::UpDown3, &TForm1::ComboBox8, "2D"}),
    [](const auto& info) { return std::string(info.param.name); });

// ---- triggers and clock divider ----

TEST_F(LiveSending, TriggerTimeSendsThePosition) {
  Live(false);
  form->UpDown4->Step(1);
  EXPECT_EQ(Take(), Texts{});
  EXPECT_EQ(form->Edit6->Text(), "13");
  Live(true);
  form->UpDown4->Step(1);
  EXPECT_EQ(Take(), Texts{Msg("2E 0E 00")});
}

void RunClock(TForm1& form) {
  form.Timer1->SetEnabled(true);
  form.Button3->SetCaption("Stop");
}

TEST_F(LiveSending, PresetDividersStopTheClockAndSendTheirTag) {
  Live(false);
  RunClock(*form);
  form->RadioButton24->click();
  EXPECT_EQ(Take(), Texts{});
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Button3->Caption(), "Run");
  EXPECT_EQ(form->Edit7->Text(), "24");
  Live(true);
  RunClock(*form);
  for (TRadioButton* preset : {form->RadioButton96, form->RadioButton48, form->RadioButton12,
                               form->RadioButton7, form->RadioButton6, form->RadioButton24})
    preset->click();
  EXPECT_FALSE(form->Timer1->Enabled());
  // No MIDI Stop byte among them.
  EXPECT_EQ(Take(), (Texts{Msg("2F 00 06"), Msg("2F 00 03"), Msg("2F 0C 00"), Msg("2F 06 00"),
                           Msg("2F 03 00"), Msg("2F 08 01")}));
}

TEST_F(LiveSending, SpecialStopsTheClockAndSendsTheField) {
  Live(false);
  RunClock(*form);
  form->RadioButton8->click();
  EXPECT_EQ(Take(), Texts{});
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Button3->Caption(), "Run");
  form->RadioButton96->click();
  Live(true);
  form->RadioButton8->click();
  EXPECT_EQ(Take(), Texts{Msg("2F 00 06")});
}

TEST_F(LiveSending, DivideByStepSelectsSpecialAndSendsTwiceFromAPreset) {
  Live(false);
  form->UpDown8->Step(1);
  EXPECT_EQ(Take(), Texts{});
  EXPECT_TRUE(form->RadioButton8->Checked());
  form->RadioButton7->click();
  Live(true);
  form->UpDown8->Step(1);  // 6 -> 7, then "Special" is selected and sends again
  form->UpDown8->Step(1);
  EXPECT_EQ(Take(), (Texts{Msg("2F 07 00"), Msg("2F 07 00"), Msg("2F 08 00")}));
}

// ---- gates 1..4: levels and notes ----

struct GateNumberRow {
  const char* name;
  TUpDown* TForm1::* upDown;
  TLabel* TForm1::* label;  // nullptr for a level
  const char* parameter;
  const char* afterOneStep;   // the note name, or the level field
  const char* afterTwoSteps;
  const char* value;
};
void PrintTo(const GateNumberRow& row, std::ostream* os) { *os << row.name; }

class GateNumber : public LiveSending, public ::testing::WithParamInterface<GateNumberRow> {};

TEST_P(GateNumber, SendsTheNewPosition) {
  const GateNumberRow& row = GetParam();
  TUpDown* upDown = form->*row.upDown;
  auto shown = [&] {
    return row.label ? (form->*row.label)->Caption() : upDown->Associate()->Text();
  };
  Live(false);
  upDown->Step(1);
  EXPECT_EQ(Take(), Texts{});
  EXPECT_EQ(shown(), row.afterOneStep);
  Live(true);
  upDown->Step(1);
  EXPECT_EQ(shown(), row.afterTwoSteps);
  EXPECT_EQ(Take(), Texts{Msg(std::string(row.parameter) + " " + row.value)});
}

INSTANTIATE_TEST_SUITE_P(
    Rows, GateNumber,
    ::testing::Values(
        GateNumberRow{"UpDown11", &TForm1::UpDown11, nullptr, "36", "65", "66", "02 04"},
        GateNumberRow{"UpDown9", &TForm1::UpDown9, nullptr, "37", "65", "66", "02 04"},
        GateNumberRow{"UpDown13", &TForm1::UpDown13, nullptr, "38", "65", "66", "02 04"},
        GateNumberRow{"UpDown12", &TForm1::UpDown12, nullptr, "39", "65", "66", "02 04"},
        GateNumberRow{"UpDown14", &TForm1::UpDown14, &TForm1::Label3, "3A", "C#-1", "D -1",
                      "0E 00"},
        GateNumberRow{"UpDown15", &TForm1::UpDown15, &TForm1::Label8, "3B", "C#-2", "D -2",
                      "02 00"},
        GateNumberRow{"UpDown16", &TForm1::UpDown16, &TForm1::Label13, "3C", "C#-2", "D -2",
                      "02 00"},
        GateNumberRow{"UpDown17", &TForm1::UpDown17, &TForm1::Label19, "3D", "C#-2", "D -2",
                      "02 00"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(LiveSending, WriteToFlashButtonSendsOnlyWithRealTimeSending) {
  Live(false);
  form->SpeedButton8->click();
  EXPECT_EQ(Take(), Texts{});
  Live(true);
  form->SpeedButton8->click();
  EXPECT_EQ(Take(), Texts{Msg("7F 04 03")});
}

}  // namespace
