// The control rules the configuration relies on, each driven by code and by the
// user's input on real widgets.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>

#include "ui/check_box.h"
#include "ui/combo_box.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/edit.h"
#include "ui/exception.h"
#include "ui/radio_button.h"
#include "ui/timer.h"
#include "ui/track_bar.h"
#include "ui/up_down.h"

namespace {

// Records which handler ran, with which sender, in order.
struct Log {
  std::vector<std::string> entries;
  TNotifyEvent Handler(const std::string& name) {
    return [this, name](TObject*) { entries.push_back(name); };
  }
};

class Controls : public ::testing::Test {
 protected:
  void SetUp() override {
    window.resize(400, 300);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  }
  QWidget window;
  Log log;
  ui::ScriptedDialogs dialogs;
};

QToolButton* Arrow(TUpDown* upDown, Qt::ArrowType type) {
  for (QToolButton* button : upDown->findChildren<QToolButton*>())
    if (button->arrowType() == type) return button;
  return nullptr;
}

TEST_F(Controls, CheckBoxRunsClickOnEveryChangeOfStateButNotOnTheSameState) {
  auto* box = new TCheckBox("Retrigg", &window);
  box->show();
  TObject* sender = nullptr;
  box->OnClick = [&](TObject* s) {
    sender = s;
    log.entries.push_back(box->Checked() ? "on" : "off");
  };
  box->SetChecked(true);
  box->SetChecked(true);
  box->SetChecked(false);
  EXPECT_EQ(log.entries, (std::vector<std::string>{"on", "off"}));
  EXPECT_EQ(sender, box);

  QTest::mouseClick(box, Qt::LeftButton);
  EXPECT_TRUE(box->Checked());
  EXPECT_EQ(log.entries.back(), "on");
  EXPECT_EQ(log.entries.size(), 3u);

  box->setEnabled(false);
  box->setVisible(false);
  box->setText("other");
  EXPECT_EQ(log.entries.size(), 3u);
}

TEST_F(Controls, RadioButtonsAreExclusiveByOurCodeAndMayLeaveTheGroupEmpty) {
  auto* group = new TGroupBox("Play Mode", &window);
  group->setGeometry(0, 0, 200, 120);
  auto* mono = new TRadioButton("Monophonic", group);
  auto* poly = new TRadioButton("Polyphonic", group);
  mono->setGeometry(5, 20, 150, 20);
  poly->setGeometry(5, 50, 150, 20);
  group->show();
  mono->OnClick = log.Handler("mono");
  poly->OnClick = log.Handler("poly");

  mono->SetChecked(true);
  poly->SetChecked(true);
  EXPECT_FALSE(mono->Checked());
  EXPECT_TRUE(poly->Checked());
  EXPECT_EQ(log.entries, (std::vector<std::string>{"mono", "poly"}));

  poly->SetChecked(false);  // unchecking runs nothing and leaves none checked
  EXPECT_FALSE(poly->Checked());
  EXPECT_FALSE(mono->Checked());
  EXPECT_EQ(log.entries.size(), 2u);

  QTest::mouseClick(mono, Qt::LeftButton);
  QTest::mouseClick(mono, Qt::LeftButton);  // already checked: nothing
  EXPECT_TRUE(mono->Checked());
  EXPECT_EQ(log.entries, (std::vector<std::string>{"mono", "poly", "mono"}));
  QTest::mouseClick(poly, Qt::LeftButton);
  EXPECT_FALSE(mono->Checked());
  EXPECT_TRUE(poly->Checked());
  EXPECT_EQ(log.entries.back(), "poly");
}

TEST_F(Controls, RadioButtonsOfAnotherGroupAreNotTouched) {
  auto* a = new TGroupBox("A", &window);
  auto* b = new TGroupBox("B", &window);
  auto* inA = new TRadioButton("x", a);
  auto* inB = new TRadioButton("y", b);
  inA->SetChecked(true);
  inB->SetChecked(true);
  EXPECT_TRUE(inA->Checked());
  EXPECT_TRUE(inB->Checked());
}

TEST_F(Controls, EditRunsChangeForTypedTextAndTextSetByCode) {
  auto* edit = new TEdit(&window);
  edit->show();
  edit->OnChange = [&](TObject*) { log.entries.push_back(edit->Text().toStdString()); };
  edit->SetText("1");
  edit->SetText("1");
  QTest::keyClicks(edit, "23");
  EXPECT_EQ(log.entries, (std::vector<std::string>{"1", "12", "123"}));
}

TEST_F(Controls, UpDownSetByCodeClampsRunsChangingButNeverClick) {
  auto* edit = new TEdit(&window);
  edit->setGeometry(10, 10, 40, 21);
  auto* upDown = new TUpDown(&window, 0, 127, 64);
  upDown->Associate(edit);
  EXPECT_EQ(edit->Text(), "64");
  upDown->OnChanging = [&](TObject*, bool&) {
    log.entries.push_back("changing " + std::to_string(upDown->Position()));
  };
  upDown->OnClick = log.Handler("click");
  edit->OnChange = [&](TObject*) { log.entries.push_back("edit " + edit->Text().toStdString()); };

  upDown->SetPosition(64);
  EXPECT_TRUE(log.entries.empty());
  upDown->SetPosition(200);
  EXPECT_EQ(upDown->Position(), 127);
  upDown->SetPosition(-3);
  EXPECT_EQ(upDown->Position(), 0);
  EXPECT_EQ(log.entries, (std::vector<std::string>{"changing 64", "edit 127", "changing 127",
                                                   "edit 0"}));
}

TEST_F(Controls, UpDownChangingCanRefuseTheChange) {
  auto* edit = new TEdit(&window);
  auto* upDown = new TUpDown(&window, 1, 16, 1);
  upDown->Associate(edit);
  upDown->OnChanging = [](TObject*, bool& allow) { allow = false; };
  upDown->SetPosition(5);
  EXPECT_EQ(upDown->Position(), 1);
  EXPECT_EQ(edit->Text(), "1");
}

TEST_F(Controls, UpDownUserStepRunsChangingThenClickAndStopsAtTheLimit) {
  auto* edit = new TEdit(&window);
  edit->setGeometry(10, 10, 40, 21);
  auto* upDown = new TUpDown(&window, 1, 16, 15);
  upDown->Associate(edit);
  upDown->show();
  edit->show();
  upDown->OnChanging = [&](TObject*, bool&) { log.entries.push_back("changing"); };
  upDown->OnClick = [&](TObject*) {
    log.entries.push_back("click " + std::to_string(upDown->Position()));
  };

  QTest::mouseClick(Arrow(upDown, Qt::UpArrow), Qt::LeftButton);
  QTest::mouseClick(Arrow(upDown, Qt::UpArrow), Qt::LeftButton);  // at Max
  QTest::mouseClick(Arrow(upDown, Qt::DownArrow), Qt::LeftButton);
  EXPECT_EQ(log.entries,
            (std::vector<std::string>{"changing", "click 16", "click 16", "changing", "click 15"}));
  EXPECT_EQ(edit->Text(), "15");

  QTest::keyClick(edit, Qt::Key_Up);
  EXPECT_EQ(upDown->Position(), 16);
  EXPECT_EQ(log.entries.back(), "click 16");
}

TEST_F(Controls, NumberTypedIntoTheEditMovesThePositionRunningNoHandler) {
  auto* edit = new TEdit(&window);
  auto* upDown = new TUpDown(&window, 0, 255, 0);
  upDown->Associate(edit);
  edit->show();
  upDown->OnClick = log.Handler("click");
  upDown->OnChanging = [&](TObject*, bool&) { log.entries.push_back("changing"); };

  edit->selectAll();
  QTest::keyClicks(edit, "42");
  EXPECT_EQ(upDown->Position(), 42);
  EXPECT_TRUE(log.entries.empty());

  edit->selectAll();
  QTest::keyClicks(edit, "300");  // beyond Max: clamped as a typed value is
  EXPECT_EQ(upDown->Position(), 255);
  QTest::keyClicks(edit, "x");  // not a number: the position stays
  EXPECT_EQ(upDown->Position(), 255);
  emit edit->editingFinished();
  EXPECT_EQ(edit->Text(), "255");
  EXPECT_TRUE(log.entries.empty());
  upDown->SetPosition(7);  // code still runs OnChanging
  EXPECT_EQ(log.entries, std::vector<std::string>{"changing"});
}

TEST_F(Controls, ComboBoxRunsChangeOnlyForTheUsersChoice) {
  auto* list = new TComboBox(&window);
  list->addItems({"----- none-------", "Modulation", "Breath"});
  list->show();
  list->OnChange = [&](TObject*) { log.entries.push_back(std::to_string(list->ItemIndex())); };

  list->SetItemIndex(2);
  EXPECT_EQ(list->ItemIndex(), 2);
  list->SetItemIndex(7);  // outside the list: nothing selected
  EXPECT_EQ(list->ItemIndex(), -1);
  list->SetItemIndex(-1);
  EXPECT_TRUE(log.entries.empty());

  list->SetItemIndex(0);
  list->setFocus();
  QTest::keyClick(list, Qt::Key_Down);
  EXPECT_EQ(list->ItemIndex(), 1);
  EXPECT_EQ(log.entries, (std::vector<std::string>{"1"}));

  list->lineEdit()->selectAll();
  QTest::keyClicks(list->lineEdit(), "Bre");
  EXPECT_EQ(list->ItemIndex(), -1);  // typed text that matches no entry
  EXPECT_EQ(list->Text(), "Bre");
  QTest::keyClicks(list->lineEdit(), "ath");
  EXPECT_EQ(list->ItemIndex(), 2);
  EXPECT_EQ(log.entries.back(), "2");
}

TEST_F(Controls, TrackBarRunsChangeOnRealChangesOnlyAndClamps) {
  auto* bar = new TTrackBar(Qt::Vertical, &window, 0, 127, 64);
  bar->show();
  bar->OnChange = [&](TObject*) { log.entries.push_back(std::to_string(bar->Position())); };
  bar->SetPosition(64);
  bar->SetPosition(500);
  bar->SetPosition(500);
  bar->setFocus();
  QTest::keyClick(bar, Qt::Key_Down);
  EXPECT_EQ(log.entries, (std::vector<std::string>{"127", "126"}));
}

TEST_F(Controls, ErrorInAUserHandlerIsShownAndTheProgramGoesOn) {
  auto* button = new TSpeedButton(&window, QIcon(), "Send Config to MIDI");
  button->show();
  EXPECT_EQ(button->Hint(), "Send Config to MIDI");
  button->OnClick = [](TObject*) { throw Exception("MIDI Output device not open"); };
  QTest::mouseClick(button, Qt::LeftButton);
  EXPECT_EQ(dialogs.Errors(), (std::vector<std::string>{"MIDI Output device not open"}));

  auto* push = new TButton("Run", &window);
  push->show();
  int runs = 0;
  push->OnClick = [&](TObject*) { ++runs; };
  QTest::mouseClick(push, Qt::LeftButton);
  EXPECT_EQ(runs, 1);
}

TEST_F(Controls, ErrorInACodeDrivenChainReachesTheCaller) {
  auto* box = new TCheckBox("Velo", &window);
  box->OnClick = [](TObject*) { throw Exception("Invalid device ID"); };
  EXPECT_THROW(box->SetChecked(true), Exception);
  EXPECT_TRUE(box->Checked());
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(Controls, TimerTicksRunTheHandlerAndReportErrors) {
  TTimer timer;
  int ticks = 0;
  timer.OnTimer = [&](TObject*) {
    if (++ticks == 2) throw Exception("tick failed");
  };
  timer.SetInterval(5);
  timer.SetEnabled(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ticks >= 3; }, 2000));
  timer.SetEnabled(false);
  const int stopped = ticks;
  QTest::qWait(30);
  EXPECT_GE(stopped, 3);
  EXPECT_EQ(ticks, stopped);
  EXPECT_EQ(dialogs.Errors(), (std::vector<std::string>{"tick failed"}));
}

TEST(Dialogs, ScriptedFileDialogAnswersInOrderAndSeesTheSettings) {
  ui::ScriptedDialogs dialogs;
  ui::TSaveDialog save;
  save.FileName = "anonyme";
  save.Filter = "TQX Config file|*.TQC|All Files|*.*";
  save.FilterIndex = 1;
  dialogs.AnswerNextFileDialog("/tmp/a.TQC", 2);
  dialogs.AnswerNextFileDialog(std::nullopt);
  EXPECT_TRUE(save.Execute());
  EXPECT_EQ(save.FileName, "/tmp/a.TQC");
  EXPECT_EQ(save.FilterIndex, 2);
  EXPECT_FALSE(save.Execute());
  EXPECT_EQ(save.FileName, "/tmp/a.TQC");
  ASSERT_EQ(dialogs.dialogs.size(), 2u);
  EXPECT_EQ(dialogs.dialogs[0].fileName, "anonyme");
}

}  // namespace
