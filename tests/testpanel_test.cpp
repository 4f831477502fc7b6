// The output test panel: what the sliders and the clock generator put on the wire.
#include <gtest/gtest.h>

#include <QTest>

#include "app/form1.h"
#include "midi/midi_output.h"
#include "midi/platform/virtual_backend.h"
#include "support/editor_fixture.h"

namespace {

using Texts = std::vector<std::string>;
using Call = VirtualMidiBackend::Call;

class TestPanel : public testing_support::EditorFixture {
 protected:
  Texts Take() {
    Texts sent = SentHex();
    ClearSent();
    return sent;
  }
  // A user's drag or key press on the slider.
  static void Slide(TTrackBar* slider, int position) { slider->setValue(position); }
  std::string InvalidHandleText() {
    char text[128];
    midiOutGetErrorTextA(MMSYSERR_INVALHANDLE, text, sizeof text);
    return text;
  }
};

TEST_F(TestPanel, EachSliderSendsTheControllerOfItsOwnSourceList) {
  struct Row {
    TTrackBar* slider;
    TComboBox* source;
  };
  const Row rows[] = {{form->TrackBar7, form->ComboBox5}, {form->TrackBar6, form->ComboBox6},
                      {form->TrackBar2, form->ComboBox1}, {form->TrackBar3, form->ComboBox2},
                      {form->TrackBar5, form->ComboBox7}, {form->TrackBar8, form->ComboBox8}};
  int entry = 20;
  for (const Row& row : rows) row.source->SetItemIndex(entry++);
  ClearSent();
  int value = 0;
  for (const Row& row : rows) Slide(row.slider, value++);
  EXPECT_EQ(Take(), (Texts{"B0 13 00", "B0 14 01", "B0 15 02", "B0 16 03", "B0 17 04",
                           "B0 18 05"}));
  EXPECT_TRUE(dialogs->Errors().empty());
}

TEST_F(TestPanel, VolumeOnChannelOneAtHundredIsB00764) {
  form->ComboBox6->SetItemIndex(8);
  ASSERT_EQ(form->ComboBox6->Text(), "Volume (coarse)");
  ClearSent();
  Slide(form->TrackBar6, 100);
  EXPECT_EQ(Take(), Texts{"B0 07 64"});
}

TEST_F(TestPanel, GateFiveAtBankSelectSendsOnControllerZero) {
  form->ComboBox7->SetItemIndex(1);
  form->UpDown1->SetPosition(5);  // read at each move
  ClearSent();
  Slide(form->TrackBar5, 127);
  Slide(form->TrackBar5, 0);
  EXPECT_EQ(Take(), (Texts{"B4 00 7F", "B4 00 00"}));
}

TEST_F(TestPanel, ASourceOfNoneOrNothingSelectedSendsNothing) {
  form->ComboBox8->SetItemIndex(-1);
  ClearSent();
  for (TTrackBar* slider : {form->TrackBar7, form->TrackBar6, form->TrackBar2, form->TrackBar3,
                            form->TrackBar5, form->TrackBar8})
    Slide(slider, 10);
  EXPECT_EQ(Take(), Texts{});
}

TEST_F(TestPanel, PitchBendIsThePositionTimes64) {
  ClearSent();
  Slide(form->TrackBar9, 0);
  Slide(form->TrackBar9, 128);  // the centre
  Slide(form->TrackBar9, 127);
  form->UpDown1->SetPosition(16);
  Slide(form->TrackBar9, 255);
  EXPECT_EQ(Take(), (Texts{"E0 00 00", "E0 00 40", "E0 40 3F", "EF 40 7F"}));
}

TEST_F(TestPanel, ASliderOnAClosedPortShowsTheErrorAndKeepsItsPosition) {
  form->ComboBox6->SetItemIndex(8);
  form->MidiOutput1->Close();
  Slide(form->TrackBar6, 30);
  Slide(form->TrackBar9, 30);
  EXPECT_EQ(form->TrackBar6->Position(), 30);
  EXPECT_EQ(dialogs->Errors(), (Texts{InvalidHandleText(), InvalidHandleText()}));
}

// ---- clock generator ----

TEST_F(TestPanel, ClockRunsAtSpeedDiv6AndCyclesRunStopStart) {
  EXPECT_EQ(form->Button3->Caption(), "Run");
  EXPECT_FALSE(form->Timer1->Enabled());
  form->UpDown10->SetPosition(600);
  ClearSent();
  const int longBefore = midi->CallCount(Call::OutLongMsg);
  const int shortBefore = midi->CallCount(Call::OutShortMsg);

  form->Button3->click();
  EXPECT_TRUE(form->Timer1->Enabled());
  EXPECT_EQ(form->Timer1->Interval(), 100);
  EXPECT_EQ(form->Button3->Caption(), "Stop");
  form->Timer1->Tick();
  form->Timer1->Tick();
  form->Timer1->Tick();
  form->Button3->click();
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Button3->Caption(), "Start");
  EXPECT_EQ(Take(), (Texts{"FA", "F8", "F8", "F8", "FC"}));
  // Each byte is a one-byte long message.
  EXPECT_EQ(midi->CallCount(Call::OutLongMsg) - longBefore, 5);
  EXPECT_EQ(midi->CallCount(Call::OutShortMsg) - shortBefore, 0);

  form->Button3->click();
  EXPECT_EQ(form->Button3->Caption(), "Stop");
  EXPECT_EQ(Take(), Texts{"FA"});
}

TEST_F(TestPanel, SpeedOneStartsWithoutClockBytes) {
  ClearSent();
  form->Button3->click();
  EXPECT_EQ(form->Button3->Caption(), "Stop");
  EXPECT_EQ(form->Timer1->Interval(), 0);
  QTest::qWait(60);
  form->Button3->click();
  EXPECT_EQ(form->Button3->Caption(), "Start");
  EXPECT_EQ(Take(), (Texts{"FA", "FC"}));
}

TEST_F(TestPanel, TheSpeedIsTakenAtEachStart) {
  form->UpDown10->SetPosition(10000);
  form->Button3->click();
  EXPECT_EQ(form->Timer1->Interval(), 1666);
  form->UpDown10->SetPosition(1200);
  EXPECT_EQ(form->Timer1->Interval(), 1666);
  form->Button3->click();
  form->Button3->click();
  EXPECT_EQ(form->Timer1->Interval(), 200);
  form->Button3->click();
}

TEST_F(TestPanel, ADividerChangeStopsARunningClockWithoutSendingStop) {
  form->UpDown10->SetPosition(600);
  form->Button3->click();
  ClearSent();
  form->RadioButton48->click();
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Button3->Caption(), "Run");
  EXPECT_EQ(Take(), Texts{});
  // "Special" stops it as well.
  form->Button3->click();
  EXPECT_EQ(Take(), Texts{"FA"});
  form->RadioButton8->click();
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Button3->Caption(), "Run");
  EXPECT_EQ(Take(), Texts{});
}

TEST_F(TestPanel, TheRunningTimerSendsClockBytesByItself) {
  form->UpDown10->SetPosition(60);  // every 10 ms
  ClearSent();
  form->Button3->click();
  EXPECT_TRUE(QTest::qWaitFor([&] { return midi->Sent(0).back() == std::vector<BYTE>{0xF8}; }, 5000));
  form->Button3->click();
  const Texts sent = Take();
  EXPECT_EQ(sent.front(), "FA");
  EXPECT_EQ(sent.back(), "FC");
  for (size_t i = 1; i + 1 < sent.size(); ++i) EXPECT_EQ(sent[i], "F8");
}

TEST_F(TestPanel, AFailingPortStillTogglesAndTheFirstFailingTickStopsTheGenerator) {
  form->UpDown10->SetPosition(600);
  form->MidiOutput1->Close();
  form->Button3->click();
  EXPECT_TRUE(form->Timer1->Enabled());
  EXPECT_EQ(form->Button3->Caption(), "Stop");
  EXPECT_EQ(dialogs->Errors().size(), 1u);  // the Start byte
  form->Timer1->Tick();
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Button3->Caption(), "Run");
  EXPECT_EQ(dialogs->Errors(), (std::vector<std::string>(2, InvalidHandleText())));
  form->Button3->click();  // runs again, and fails again
  EXPECT_EQ(form->Button3->Caption(), "Stop");
  EXPECT_EQ(dialogs->Errors().size(), 3u);
}

TEST_F(TestPanel, TheRealTimerShowsAFailingTickOnceAndStops) {
  form->UpDown10->SetPosition(60);  // every 10 ms
  form->Button3->click();
  form->MidiOutput1->Close();
  QTest::qWait(100);
  EXPECT_EQ(dialogs->Errors(), std::vector<std::string>{InvalidHandleText()});
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Button3->Caption(), "Run");
}

}  // namespace
