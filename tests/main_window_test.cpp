// The main window as a user first sees it, and the hardware variant switch.
#include <gtest/gtest.h>

#include <QTabWidget>
#include <QTimer>
#include <QTest>

#include "app/form1.h"
#include "support/editor_fixture.h"
#include "support/test_support.h"
#include "table/form2.h"
#include "table/form3.h"

namespace {

class MainWindow : public testing_support::EditorFixture {
 protected:
  // Hidden by its own state, whatever tab is shown.
  static bool Shown(QWidget* w) { return !w->isHidden(); }
};

TEST_F(MainWindow, IsAFixedSizeWindowWithFourTabsOnMidi) {
  EXPECT_EQ(form->windowTitle(), "TQX512 Config");
  EXPECT_EQ(form->minimumSize(), form->maximumSize());
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form->windowFlags() & Qt::WindowMaximizeButtonHint);
  ASSERT_EQ(form->PageControl1->count(), 4);
  EXPECT_EQ(form->PageControl1->tabText(0), "MIDI");
  EXPECT_EQ(form->PageControl1->tabText(1), "Config");
  EXPECT_EQ(form->PageControl1->tabText(2), "Table");
  EXPECT_EQ(form->PageControl1->tabText(3), "About...");
  EXPECT_EQ(form->PageControl1->currentIndex(), 0);
}

TEST_F(MainWindow, SpeedButtonHintsIncludingTheTwoSaveConfig) {
  EXPECT_EQ(form->SpeedButton5->Hint(), "Open Config");
  EXPECT_EQ(form->SpeedButton6->Hint(), "Save Config");
  EXPECT_EQ(form->SpeedButton4->Hint(), "Save Config");
  EXPECT_EQ(form->SpeedButton8->Hint(), "Send 'Write to Flash'");
  EXPECT_EQ(form->SpeedButton7->Hint(), "Send Config to MIDI");
  EXPECT_EQ(form->SpeedButton1->Hint(), "New Table");
  EXPECT_EQ(form->SpeedButton2->Hint(), "Open Table");
  EXPECT_EQ(form->SpeedButton3->Hint(), "Save Table");
  EXPECT_EQ(form->SpeedButton12->Hint(), "Send Table to Interface");
  EXPECT_EQ(form->SpeedButton10->Hint(), "Generator");
  EXPECT_EQ(form->SpeedButton11->Hint(), "3D/2D");
}

TEST_F(MainWindow, MidiTabStartsInItsInitialState) {
  EXPECT_TRUE(form->RadioButton2->Checked());
  EXPECT_FALSE(form->RadioButton1->Checked());
  EXPECT_FALSE(form->RadioButton3->Checked());
  EXPECT_EQ(form->RadioButton3->text(), "Controlers");
  EXPECT_EQ(form->EditMidi->Text(), "1");
  EXPECT_EQ(form->EditNREF->Text(), "24");
  EXPECT_EQ(form->Label15->Caption(), "C-1");
  EXPECT_EQ(form->GroupBox3->title(), "CV ");
  EXPECT_EQ(form->Label21->Caption(), "Tab  +5V   Inv  ");
  EXPECT_FALSE(form->ComboBox5->isEnabled());
  EXPECT_FALSE(form->CheckBox8->isEnabled());
  EXPECT_FALSE(form->CheckBox15->isEnabled());
  EXPECT_FALSE(form->CheckBox14->isEnabled());
  EXPECT_TRUE(form->ComboBox6->isEnabled());

  const std::vector<std::pair<TUpDown*, int>> numbers = {
      {form->UpDown14, 12}, {form->UpDown15, 0}, {form->UpDown16, 0}, {form->UpDown17, 0},
      {form->UpDown11, 64}, {form->UpDown9, 64}, {form->UpDown13, 64}, {form->UpDown12, 64},
      {form->UpDown5, 64},  {form->UpDown3, 64}, {form->UpDown8, 24},  {form->UpDown4, 12}};
  for (auto [upDown, value] : numbers) {
    EXPECT_EQ(upDown->Position(), value);
    EXPECT_EQ(upDown->Associate()->Text(), QString::number(value));
  }
  for (TLabel* name : {form->Label3, form->Label8, form->Label13, form->Label19})
    EXPECT_EQ(name->Caption(), "C-1");

  // "16 bpm" is checked although the divider field holds 24.
  EXPECT_TRUE(form->RadioButton7->Checked());
  EXPECT_EQ(form->RadioButton7->text(), "16 bpm");
  const std::vector<std::pair<TRadioButton*, int>> tags = {
      {form->RadioButton96, 96}, {form->RadioButton48, 48}, {form->RadioButton24, 24},
      {form->RadioButton12, 12}, {form->RadioButton7, 6},   {form->RadioButton6, 3}};
  for (auto [button, tag] : tags) EXPECT_EQ(button->Tag, tag);
  EXPECT_FALSE(form->RadioButton8->Checked());
}

TEST_F(MainWindow, ConfigAndTableTabsStartInTheirInitialState) {
  EXPECT_EQ(form->Edit5->Text(), "1");
  EXPECT_EQ(form->ud_DeviceID->Max(), 128);
  EXPECT_FALSE(form->CheckBox25->Checked());
  EXPECT_EQ(form->CheckBox25->text(), "Always send \"Write to Flash\" message");
  EXPECT_FALSE(form->CheckBox26->Checked());
  EXPECT_EQ(form->CheckBox26->text(), "Send Parameters Change to MIDI in real time");
  EXPECT_FALSE(form->TrackBar7->isEnabled());
  for (TTrackBar* cv : {form->TrackBar7, form->TrackBar6, form->TrackBar2, form->TrackBar3})
    EXPECT_EQ(cv->Position(), 64);
  EXPECT_EQ(form->TrackBar9->Position(), 127);
  EXPECT_EQ(form->TrackBar9->maximum(), 255);
  EXPECT_EQ(form->Edit9->Text(), "1");
  EXPECT_EQ(form->UpDown10->Max(), 10000);
  EXPECT_EQ(form->Button3->Caption(), "Run");
  EXPECT_FALSE(form->Timer1->Enabled());

  EXPECT_EQ(form->TrackBar1->maximum(), 255);
  EXPECT_EQ(form->TrackBar1->pageStep(), 16);
  EXPECT_EQ(form->UpDown6->Max(), 47);
  EXPECT_EQ(form->UpDown7->Max(), 255);

  EXPECT_EQ(form->OpenDialog1.FileName, "Table");
  EXPECT_EQ(form->OpenDialog1.Title, "Load TQX Note Table File");
  EXPECT_EQ(form->SaveDialog1.FileName, "anonyme");
}

TEST_F(MainWindow, UntilTheSwitchRunsTheFourthRowIsShownUnder3Voices) {
  EXPECT_TRUE(form->RadioButton4->Checked());
  EXPECT_FALSE(form->RadioButton5->Checked());
  for (QWidget* w : std::initializer_list<QWidget*>{
           form->Label14, form->TrackBar3, form->ComboBox2, form->CheckBox11, form->CheckBox12,
           form->CheckBox13, form->CheckBox14, form->CheckBox23})
    EXPECT_TRUE(Shown(w));
  EXPECT_EQ(form->CheckBox17->text(), "4 Voices");
}

TEST_F(MainWindow, VariantButtonsShowAndHideTheFourthRow) {
  form->PageControl1->setCurrentWidget(form->TabConfig);
  QTest::mouseClick(form->RadioButton5, Qt::LeftButton);
  EXPECT_TRUE(form->RadioButton5->Checked());
  EXPECT_FALSE(form->RadioButton4->Checked());
  EXPECT_TRUE(Shown(form->ComboBox2));
  EXPECT_EQ(form->CheckBox17->text(), "4 Voices");

  form->ComboBox2->addItem("x");
  form->ComboBox2->SetItemIndex(0);
  form->CheckBox13->setChecked(true);
  QTest::mouseClick(form->RadioButton4, Qt::LeftButton);
  EXPECT_FALSE(form->RadioButton5->Checked());
  for (QWidget* w : std::initializer_list<QWidget*>{
           form->Label14, form->TrackBar3, form->ComboBox2, form->CheckBox11, form->CheckBox12,
           form->CheckBox13, form->CheckBox14, form->CheckBox23})
    EXPECT_FALSE(Shown(w));
  EXPECT_EQ(form->CheckBox17->text(), "3 Voices");
  // Hidden controls keep their values.
  EXPECT_EQ(form->ComboBox2->ItemIndex(), 0);
  EXPECT_TRUE(form->CheckBox13->Checked());

  // A click on the button already checked runs nothing.
  form->CheckBox17->setText("untouched");
  QTest::mouseClick(form->RadioButton4, Qt::LeftButton);
  EXPECT_EQ(form->CheckBox17->text(), "untouched");
}

TEST_F(MainWindow, SwitchWithNeitherButtonCheckedChecks4Voices) {
  form->RadioButton4->SetChecked(false);
  form->RadioButton4Click(form->RadioButton4);
  EXPECT_TRUE(form->RadioButton5->Checked());
  EXPECT_FALSE(form->RadioButton4->Checked());
  EXPECT_TRUE(Shown(form->Label14));
  EXPECT_TRUE(Shown(form->CheckBox23));
  EXPECT_EQ(form->CheckBox17->text(), "4 Voices");
}

TEST_F(MainWindow, ProgressWindowAndGeneratorExistHidden) {
  EXPECT_EQ(Form2->windowTitle(), "Send Datas to MIDI");
  EXPECT_EQ(Form3->windowTitle(), "Table Generator");
  EXPECT_FALSE(Form2->isVisible());
  EXPECT_FALSE(Form3->isVisible());
  EXPECT_TRUE(dialogs->boxes.empty());
}

TEST_F(MainWindow, ClosingItEndsTheProgramWithTheGeneratorOpenAndTheClockRunning) {
  Form3->show();
  form->UpDown10->SetPosition(600);  // a tick every 100 ms
  form->Button3->click();
  QTimer::singleShot(0, form, [this] { form->close(); });
  // Not ended in time: a failure, not a hang.
  QTimer::singleShot(3000, [] { QCoreApplication::exit(1); });
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_FALSE(form->isVisible());
  EXPECT_FALSE(Form3->isVisible());
  EXPECT_FALSE(form->Timer1->Enabled());
  QTest::qWait(150);  // where a tick would have come
  EXPECT_TRUE(dialogs->Errors().empty());
}

TEST_F(MainWindow, SavesAPictureOfEachTab) {
  const char* names[] = {"tab-midi.png", "tab-config.png", "tab-table.png", "tab-about.png"};
  for (int i = 0; i < 4; ++i) {
    form->PageControl1->setCurrentIndex(i);
    QApplication::processEvents();
    const QImage image = form->grab().toImage();
    const auto path = testing_support::ArtifactDir() / names[i];
    ASSERT_TRUE(image.save(QString::fromStdString(path.string())));
    EXPECT_EQ(image.size(), form->size());
  }
}

}  // namespace
