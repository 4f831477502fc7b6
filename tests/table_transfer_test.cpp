// "Send Table to Interface" with its progress window, and the live send of an
// edited entry.
#include <gtest/gtest.h>

#include <QCloseEvent>
#include <QTest>

#include "app/form1.h"
#include "midi/midi_output.h"
#include "midi/platform/virtual_backend.h"
#include "support/editor_fixture.h"
#include "table/form2.h"
#include "table/form3.h"

namespace {

using Texts = std::vector<std::string>;

// Watches the progress window at every pacing wait, that is after each message.
class WatchingClock : public testing_support::InstantClock {
 public:
  std::chrono::nanoseconds Now() override {
    if (percents.empty() || percents.back() != Form2->CGauge1->GetPercentDone())
      percents.push_back(Form2->CGauge1->GetPercentDone());
    if (!Form2->isVisible()) hiddenWhileSending = true;
    if (onRead) onRead();
    return InstantClock::Now();
  }
  std::vector<int> percents;
  bool hiddenWhileSending = false;
  std::function<void()> onRead;
};

// The percentage the gauge shows when the progress window appears.
class ShowWatcher : public QObject {
 public:
  bool eventFilter(QObject*, QEvent* event) override {
    if (event->type() == QEvent::Show) shownAt.push_back(Form2->CGauge1->GetPercentDone());
    return false;
  }
  std::vector<int> shownAt;
};

class TableTransfer : public testing_support::EditorFixture {
 protected:
  void SendTable() {
    form->PageControl1->setCurrentWidget(form->TabTable);
    QTest::mouseClick(form->SpeedButton12, Qt::LeftButton);
  }
  // The 48 entry messages of a table.
  static Texts Expected(const std::string& device, const std::vector<int>& values) {
    Texts texts;
    static const char* hex = "0123456789ABCDEF";
    for (int i = 0; i < 48; ++i) {
      const int pp = 64 + i;
      const int v = values[i];
      texts.push_back("F0 70 7B " + device + " " + hex[pp >> 4] + hex[pp & 15] + " 0" +
                      hex[v & 15] + " 0" + hex[v >> 4] + " F7");
    }
    return texts;
  }
  std::vector<int> Table() const { return {form->NoteTable().begin(), form->NoteTable().end()}; }
};

TEST_F(TableTransfer, Sends48EntriesInRisingParameterOrderEvenWithoutRealTimeSending) {
  Form3->GenerateTable(128, 255, 47, 0);
  ASSERT_FALSE(form->CheckBox26->Checked());
  SendTable();
  const Texts sent = SentHex();
  ASSERT_EQ(sent.size(), 48u);
  EXPECT_EQ(sent, Expected("00", Table()));
  EXPECT_EQ(sent.front(), "F0 70 7B 00 40 00 08 F7");  // entry 0 = 128
  EXPECT_EQ(sent.back(), "F0 70 7B 00 6F 0F 0F F7");  // entry 47 = 255
  EXPECT_TRUE(dialogs->Errors().empty());
}

TEST_F(TableTransfer, WriteToFlashFollowsAsA49thMessageWhenAsked) {
  form->CheckBox25->SetChecked(true);
  SendTable();
  const Texts sent = SentHex();
  ASSERT_EQ(sent.size(), 49u);
  EXPECT_EQ(sent.back(), "F0 70 7B 00 7F 04 03 F7");
  EXPECT_EQ(Texts(sent.begin(), sent.end() - 1), Expected("00", std::vector<int>(48, 0)));
}

TEST_F(TableTransfer, DeviceId16AddressesDevice0FInEveryMessage) {
  form->ud_DeviceID->SetPosition(16);
  SendTable();
  EXPECT_EQ(SentHex(), Expected("0F", std::vector<int>(48, 0)));
}

TEST_F(TableTransfer, GaugeRunsFrom0To100PercentAndTheWindowHidesAfter) {
  WatchingClock watch;
  PacingClock::Install(&watch);
  ShowWatcher shows;
  Form2->installEventFilter(&shows);
  Form2->CGauge1->SetProgress(47);  // left full by an earlier transfer
  SendTable();
  std::vector<int> expected;
  for (int i = 0; i < 48; ++i) expected.push_back(100 * i / 47);
  EXPECT_EQ(shows.shownAt, std::vector<int>{0});
  EXPECT_EQ(watch.percents, expected);  // 100 % while the last entry is sent
  EXPECT_FALSE(watch.hiddenWhileSending);
  EXPECT_FALSE(Form2->isVisible());
}

TEST_F(TableTransfer, SendErrorStopsTheTransferAndHidesTheProgress) {
  WatchingClock watch;
  watch.onRead = [&] {
    if (midi->CallCount(VirtualMidiBackend::Call::OutLongMsg) == 3)
      midi->FailNext(VirtualMidiBackend::Call::OutLongMsg, MIDIERR_NOTREADY);
  };
  PacingClock::Install(&watch);
  form->CheckBox25->SetChecked(true);
  SendTable();
  EXPECT_EQ(SentHex().size(), 3u);
  EXPECT_EQ(dialogs->Errors(),
            Texts{form->MidiOutput1->midioutErrorString(MIDIERR_NOTREADY)});
  EXPECT_FALSE(Form2->isVisible());
}

TEST_F(TableTransfer, LiveSendOfAnEditedEntryOnlyWithRealTimeSending) {
  form->UpDown6->SetPosition(10);
  form->TrackBar1->setSliderPosition(55);  // where a drag moves it: value 200
  EXPECT_EQ(SentHex(), Texts{});
  EXPECT_EQ(form->NoteTable()[10], 200);

  form->CheckBox26->SetChecked(true);
  form->TrackBar1->setSliderPosition(0);
  form->TrackBar1->setSliderPosition(55);
  EXPECT_EQ(SentHex(), (Texts{"F0 70 7B 00 4A 0F 0F F7", "F0 70 7B 00 4A 08 0C F7"}));
}

TEST_F(TableTransfer, NoTickCloseRequestOrNoticeRunsWhileTheProgressWindowComesUp) {
  form->UpDown10->SetPosition(60);  // a tick every 10 ms
  form->Button3->click();
  ClearSent();
  QTest::qSleep(30);  // a tick is due
  QCoreApplication::postEvent(form->windowHandle(), new QCloseEvent);
  SendTable();
  const Texts sent = SentHex();
  EXPECT_EQ(sent, Expected("00", std::vector<int>(48, 0)));
  EXPECT_TRUE(form->isVisible()) << "the close request waits for the end of the transfer";
  // Then the event loop runs what waited: the close, as the user asked for it.
  EXPECT_TRUE(QTest::qWaitFor([&] { return !form->isVisible(); }, 2000));
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_TRUE(dialogs->Errors().empty());
}

}  // namespace
