// Play modes and gate outputs: which controls each mode enables, reached through
// the real handlers, and the note names.
#include <gtest/gtest.h>

#include <QTest>

#include "app/form1.h"
#include "config/gate_outputs.h"
#include "support/editor_fixture.h"

namespace {

using Texts = std::vector<std::string>;

enum class Mode { Mono, Poly3, Poly4, Controlers };

// The ticks set before the mode is chosen.
enum class Ticks { None, All, VeloOnly };

void PrintTo(Mode mode, std::ostream* os) { *os << "mode " << static_cast<int>(mode); }
void PrintTo(Ticks ticks, std::ostream* os) { *os << "ticks " << static_cast<int>(ticks); }

// One cell of the table: the enabled state a mode leaves, as a rule.
struct Rule {
  enum Kind { E, D, IfNot, IfNeither, Unchanged, EUnticked, DUnticked } kind;
  TCheckBox* a = nullptr;
  TCheckBox* b = nullptr;
};

struct Row {
  const char* name;
  QWidget* control;
  Rule cell[4];  // Mono, Poly3, Poly4, Controlers
};

std::vector<Row> EnabledTable(TForm1& f) {
  const Rule E{Rule::E}, D{Rule::D}, same{Rule::Unchanged};
  auto ifNot = [](TCheckBox* box) { return Rule{Rule::IfNot, box}; };
  const Rule gate6Source{Rule::IfNeither, f.midiclockCFG, f.CheckBox18};
  std::vector<Row> rows = {
      {"ComboBox5", f.ComboBox5, {D, D, D, E}},
      {"ComboBox6", f.ComboBox6, {E, D, D, E}},
      {"ComboBox1", f.ComboBox1, {ifNot(f.CheckBox10), ifNot(f.CheckBox10), D, E}},
      {"ComboBox2", f.ComboBox2, {ifNot(f.CheckBox11), ifNot(f.CheckBox11), D, E}},
      {"CheckBox7", f.CheckBox7, {E, E, E, D}},
      {"CheckBox8", f.CheckBox8, {D, E, E, D}},
      {"CheckBox15", f.CheckBox15, {D, D, E, D}},
      {"CheckBox14", f.CheckBox14, {D, D, E, D}},
      {"CheckBox10", f.CheckBox10, {E, E, D, {Rule::DUnticked, f.CheckBox10}}},
      {"CheckBox11", f.CheckBox11, {E, E, D, {Rule::DUnticked, f.CheckBox11}}},
      {"CheckBox22", f.CheckBox22, {E, E, E, {Rule::EUnticked, f.CheckBox22}}},
      {"CheckBox19", f.CheckBox19, {E, E, D, {Rule::DUnticked, f.CheckBox19}}},
      {"ComboBox7", f.ComboBox7, {ifNot(f.CheckBox19), ifNot(f.CheckBox19), same, E}},
      {"CheckBox18", f.CheckBox18,
       {ifNot(f.midiclockCFG), ifNot(f.midiclockCFG), ifNot(f.midiclockCFG), D}},
      {"ComboBox8", f.ComboBox8, {gate6Source, gate6Source, gate6Source, gate6Source}},
      {"CheckBox16", f.CheckBox16, {E, D, D, D}},
      {"CheckBox17", f.CheckBox17, {D, E, E, D}},
      {"TrackBar7", f.TrackBar7, {D, D, D, E}},
      {"TrackBar6", f.TrackBar6, {E, D, D, E}},
      {"TrackBar2", f.TrackBar2, {E, E, D, E}},
      {"TrackBar3", f.TrackBar3, {E, E, D, E}},
  };
  // Gate 1..4 rows: usable in "Controlers" only, the source unless its note box is ticked.
  for (QWidget* gate : std::initializer_list<QWidget*>{
           f.CheckBox29, f.CheckBox30, f.CheckBox33, f.CheckBox34, f.CheckBox28, f.CheckBox27,
           f.CheckBox32, f.CheckBox31, f.Edit8, f.Edit10, f.Edit11, f.Edit12, f.Edit13,
           f.Edit14, f.Edit15, f.Edit16, f.UpDown11, f.UpDown9, f.UpDown13, f.UpDown12,
           f.UpDown14, f.UpDown15, f.UpDown16, f.UpDown17})
    rows.push_back({"gate 1..4 control", gate, {D, D, D, E}});
  rows.push_back({"ComboBox3", f.ComboBox3, {D, D, D, ifNot(f.CheckBox28)}});
  rows.push_back({"ComboBox4", f.ComboBox4, {D, D, D, ifNot(f.CheckBox27)}});
  rows.push_back({"ComboBox9", f.ComboBox9, {D, D, D, ifNot(f.CheckBox32)}});
  rows.push_back({"ComboBox10", f.ComboBox10, {D, D, D, ifNot(f.CheckBox31)}});
  return rows;
}

class PlayModeRules : public testing_support::EditorFixture,
                      public ::testing::WithParamInterface<std::tuple<Mode, Ticks>> {
 protected:
  void SetTicks(Ticks ticks) {
    const bool all = ticks == Ticks::All;
    const bool velo = ticks != Ticks::None;
    form->CheckBox10->SetChecked(velo);
    form->CheckBox11->SetChecked(all);
    form->CheckBox19->SetChecked(velo);
    form->CheckBox18->SetChecked(velo);
    form->midiclockCFG->SetChecked(all);
  }
};

std::string CaseName(const ::testing::TestParamInfo<std::tuple<Mode, Ticks>>& info) {
  static const char* const modes[] = {"Mono", "Poly3", "Poly4", "Controlers"};
  static const char* const ticks[] = {"NothingTicked", "AllTicked", "VeloTicked"};
  return std::string(modes[static_cast<int>(std::get<0>(info.param))]) +
         ticks[static_cast<int>(std::get<1>(info.param))];
}

TEST_P(PlayModeRules, EnabledStatesFollowTheTable) {
  const auto [mode, ticks] = GetParam();
  // Get to a mode other than the one under test, set the ticks, then choose it.
  if (mode == Mode::Mono) form->RadioButton3->click();
  SetTicks(ticks);
  if (mode == Mode::Poly4) form->RadioButton1->click();
  const std::vector<Row> rows = EnabledTable(*form);
  std::vector<bool> before;
  for (const Row& row : rows) before.push_back(row.control->isEnabled());
  switch (mode) {
    case Mode::Mono: form->RadioButton2->click(); break;
    case Mode::Poly3: form->RadioButton1->click(); break;
    case Mode::Poly4: form->CheckBox17->click(); break;
    case Mode::Controlers: form->RadioButton3->click(); break;
  }
  ASSERT_EQ(form->CheckBox17->Checked(), mode == Mode::Poly4);

  for (size_t i = 0; i < rows.size(); ++i) {
    const Rule& rule = rows[i].cell[static_cast<int>(mode)];
    bool expected = false;
    switch (rule.kind) {
      case Rule::E: expected = true; break;
      case Rule::D: expected = false; break;
      case Rule::IfNot: expected = !rule.a->Checked(); break;
      case Rule::IfNeither: expected = !rule.a->Checked() && !rule.b->Checked(); break;
      case Rule::Unchanged: expected = before[i]; break;
      case Rule::EUnticked:
      case Rule::DUnticked:
        expected = rule.kind == Rule::EUnticked;
        EXPECT_FALSE(rule.a->Checked()) << rows[i].name << " stays ticked";
        break;
    }
    EXPECT_EQ(rows[i].control->isEnabled(), expected) << rows[i].name << " (row " << i << ")";
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, PlayModeRules,
    ::testing::Combine(::testing::Values(Mode::Mono, Mode::Poly3, Mode::Poly4, Mode::Controlers),
                       ::testing::Values(Ticks::None, Ticks::All, Ticks::VeloOnly)),
    CaseName);

class PlayMode : public testing_support::EditorFixture {};

TEST_F(PlayMode, ControlersUnticksStartStopAndVeloBoxesSendingEachChange) {
  form->CheckBox19->click();
  form->CheckBox10->click();
  form->CheckBox22->click();  // disables gate 5's Velo box, so it comes last
  form->CheckBox26->SetChecked(true);
  ClearSent();
  form->RadioButton3->click();
  EXPECT_FALSE(form->CheckBox22->Checked());
  EXPECT_FALSE(form->CheckBox10->Checked());
  EXPECT_FALSE(form->CheckBox19->Checked());
  // Each unticked box sends its byte, then the mode's own CFG0.
  EXPECT_EQ(SentHex(), (Texts{"F0 70 7B 00 29 02 01 F7", "F0 70 7B 00 29 02 00 F7",
                              "F0 70 7B 00 2B 00 00 F7", "F0 70 7B 00 29 02 00 F7"}));
}

TEST_F(PlayMode, ControlersKeepsGate6VeloTickedButDisabled) {
  form->CheckBox18->click();
  form->RadioButton3->click();
  EXPECT_TRUE(form->CheckBox18->Checked());
  EXPECT_FALSE(form->CheckBox18->isEnabled());
  EXPECT_FALSE(form->ComboBox8->isEnabled());
}

TEST_F(PlayMode, MonophonicReopensGate5SourceThatStartStopClosed) {
  form->RadioButton1->click();
  form->CheckBox22->click();
  EXPECT_FALSE(form->ComboBox7->isEnabled());
  form->RadioButton2->click();
  EXPECT_TRUE(form->CheckBox22->Checked());
  EXPECT_TRUE(form->ComboBox7->isEnabled());
}

TEST_F(PlayMode, DisablingKeepsTicksInTheFlagBytes) {
  form->CheckBox16->click();  // Retrigg, disabled by Polyphonic
  form->RadioButton1->click();
  EXPECT_FALSE(form->CheckBox16->isEnabled());
  EXPECT_TRUE(form->CheckBox16->Checked());
  EXPECT_EQ(form->GetConfigByte0(), 0x84);
}

// ---- gates ----

TEST(NoteName, LetterSharpOrBlankAndOctave) {
  const std::vector<std::pair<int, const char*>> names = {
      {0, "C -2"}, {1, "C#-2"}, {11, "B -2"}, {12, "C -1"}, {24, "C 0"}, {59, "B 2"},
      {60, "C 3"}, {61, "C#3"}, {66, "F#3"}, {70, "A#3"}, {127, "G 8"}};
  for (auto [note, name] : names) EXPECT_EQ(NoteName(note, 0), name) << note;
  EXPECT_EQ(NoteName(36, 24), "C 3");  // the note table names base note + entry
}

class Gates : public testing_support::EditorFixture {};

TEST_F(Gates, ControlersWithANoteBoxTickedEnablesTheNoteButNotTheSource) {
  form->CheckBox27->SetChecked(true);  // as a loader sets it in Monophonic
  form->RadioButton3->click();
  for (QWidget* w : std::initializer_list<QWidget*>{form->CheckBox27, form->Edit14, form->UpDown15,
                                                    form->Edit10, form->UpDown9})
    EXPECT_TRUE(w->isEnabled());
  EXPECT_FALSE(form->ComboBox4->isEnabled());
  EXPECT_TRUE(form->ComboBox3->isEnabled());

  form->RadioButton2->click();
  EXPECT_FALSE(form->ComboBox3->isEnabled());
  EXPECT_TRUE(form->CheckBox27->Checked());  // still in the record
}

TEST_F(Gates, ModeHandlersNameTheGateNotes) {
  form->UpDown14->SetPosition(60);
  form->UpDown15->SetPosition(61);
  form->UpDown16->SetPosition(127);
  EXPECT_EQ(form->Label3->Caption(), "C-1");  // code changes run no click handler
  form->RadioButton1->click();
  EXPECT_EQ(form->Label3->Caption(), "C 3");
  EXPECT_EQ(form->Label8->Caption(), "C#3");
  EXPECT_EQ(form->Label13->Caption(), "G 8");
  EXPECT_EQ(form->Label19->Caption(), "C -2");
}

TEST_F(Gates, DisabledGateValuesStillTravelInAFullTransfer) {
  form->UpDown11->SetPosition(100);
  form->CheckBox32->SetChecked(true);
  ClearSent();
  form->SpeedButton7->click();
  const Texts sent = SentHex();
  ASSERT_EQ(sent.size(), 32u);
  EXPECT_EQ(sent[49 - 32], "F0 70 7B 00 31 00 04 F7");
  EXPECT_EQ(sent[54 - 32], "F0 70 7B 00 36 04 06 F7");
}

}  // namespace
