// The "Auto-tune" window, opened from the "Table" tab. The interface and the
// oscillator are the simulated ones of the engine's tests (an untrimmed VCO on
// CV 1); the audio input is a stand-in that the rig never records from.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpression>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <cmath>
#include <fstream>

#include "app/form1.h"
#include "midi/midi_output.h"
#include "support/editor_fixture.h"
#include "support/simulated_rig.h"
#include "support/test_support.h"
#include "table/form3.h"
#include "tune/pitch_meter.h"
#include "tune_ui/auto_tune_window.h"
#include "tune_ui/tune_chart.h"

namespace {

using testing_support::SimulatedRig;
using tune_ui::AutoTuneWindow;
using Texts = std::vector<std::string>;

class StandInInput : public audio::AudioInput {
 public:
  double SampleRate() const override { return 48000; }
  std::vector<float> Record(double seconds) override { return std::vector<float>(std::size_t(seconds * 48000)); }
  float Level() const override { return 0.5f; }
};

class TuneWindow : public testing_support::EditorFixture {
 protected:
  void SetUp() override {
    EditorFixture::SetUp();
    parts_.listInputs = [] { return std::vector<audio::AudioDevice>{{"default", "default"}}; };
    parts_.openInput = [this](const std::string&, std::string& why) -> std::unique_ptr<audio::AudioInput> {
      if (!inputOpens) why = "Cannot open capture device default - Device or resource busy";
      return inputOpens ? std::make_unique<StandInInput>() : nullptr;
    };
    parts_.makeRig = [this](TMidiOutput&, audio::AudioInput&) {
      ++rigsMade;
      return std::make_unique<SimulatedRig>(fault);
    };
    tune_ui::AutoTuneParts::Install(&parts_);
    Form3->GenerateTable(0, 255, 47, 0);
    old = form->NoteTable();
    form->PageControl1->setCurrentWidget(form->TabTable);
    form->CheckBox26->SetChecked(true);  // real-time sending
    ClearSent();
  }
  void TearDown() override {
    tune_ui::AutoTuneParts::Install(nullptr);
    EditorFixture::TearDown();
  }

  // Clicks "Auto-tune", lets `use` work the window it opens, then closes it.
  void WithWindow(const std::function<void(AutoTuneWindow&)>& use) {
    bool opened = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
      auto* window = dynamic_cast<AutoTuneWindow*>(QApplication::activeModalWidget());
      if (!window) return;
      poll.stop();
      opened = true;
      EXPECT_EQ(window->windowTitle(), "Auto-tune");
      EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
      use(*window);
      window->BtnCancel->click();
    });
    poll.start(10);
    QTest::mouseClick(form->BtnAutoTune, Qt::LeftButton);
    EXPECT_TRUE(opened);
  }
  // Start, and the answer to "Accept?" if the run asks.
  void Run(AutoTuneWindow& window, bool accept) {
    dialogs->AnswerNextQuestion(accept);
    QTest::mouseClick(window.BtnStart, Qt::LeftButton);
  }
  std::vector<ui::ScriptedDialogs::Box> Questions() const {
    std::vector<ui::ScriptedDialogs::Box> asked;
    for (const auto& box : dialogs->boxes)
      if (box.question) asked.push_back(box);
    return asked;
  }

  SimulatedRig::Fault fault = SimulatedRig::Fault::None;
  bool inputOpens = true;
  int rigsMade = 0;
  TNoteTable old{};

 private:
  tune_ui::AutoTuneParts parts_;
};

// What a whole table sent in real time looks like on the wire.
Texts TableOnTheWire(const TNoteTable& table) {
  Texts texts;
  for (int i = 0; i < kTableSize; ++i)
    texts.push_back(QString::asprintf("F0 70 7B 00 %02X %02X %02X F7", 0x40 + i, table[i] & 15, table[i] >> 4)
                        .toStdString());
  return texts;
}

TEST_F(TuneWindow, AcceptedRunPutsTheTunedTableInTheEditorAndOnTheWire) {
  WithWindow([&](AutoTuneWindow& window) {
    EXPECT_TRUE(QTest::qWaitFor([&] { return window.LevelMeter->value() == 50; }, 5000));
    EXPECT_FALSE(window.BtnSaveReport->isEnabled());
    Run(window, true);
    EXPECT_EQ(window.StatusLabel->text(), "Done: the tuned table is in the editor.");
    EXPECT_EQ(window.MessageLabel->text(), "");
    EXPECT_EQ(window.Progress->value(), window.Progress->maximum());
    EXPECT_TRUE(window.BtnSaveReport->isEnabled());
    // Every note measured with the old table and with the tuned one.
    ASSERT_EQ(window.Chart->Points().size(), 48u);
    for (const auto& point : window.Chart->Points()) {
      EXPECT_TRUE(point.before.has_value());
      ASSERT_TRUE(point.after.has_value());
      EXPECT_LT(std::fabs(*point.after), 14);  // half a DAC step (about 12 cents) and 2
    }
    EXPECT_TRUE(window.grab().save(QString::fromStdString((testing_support::ArtifactDir() / "auto_tune.png").string())));
  });
  ASSERT_EQ(Questions().size(), 1u);
  EXPECT_EQ(Questions()[0].text, "Accept?");
  EXPECT_EQ(Questions()[0].title, "Auto-tune");

  // Equal temperament from A4 = 440 Hz on the base note 24, within half a DAC step and 2 cents.
  const TNoteTable& tuned = form->NoteTable();
  for (int i = 0; i < kTableSize; ++i) {
    SCOPED_TRACE(i);
    const double target = 440 * std::exp2((24 + i - 69) / 12.0);
    const double hz = testing_support::OscillatorHz(tuned[i]);
    EXPECT_LE(std::fabs(tune::Cents(hz, target)), tune::Cents(testing_support::OscillatorHz(tuned[i] + 1), hz) / 2 + 2);
  }
  EXPECT_NE(tuned, old);
  EXPECT_EQ(SentHex(), TableOnTheWire(tuned));
}

TEST_F(TuneWindow, DeclinedRunKeepsTheOldTable) {
  WithWindow([&](AutoTuneWindow& window) {
    Run(window, false);
    EXPECT_EQ(window.StatusLabel->text(), "Done: the old table is kept.");
  });
  EXPECT_EQ(Questions().size(), 1u);
  EXPECT_EQ(form->NoteTable(), old);
  EXPECT_EQ(SentHex(), Texts{});
}

TEST_F(TuneWindow, UnpatchedOscillatorStopsTheRunWithItsReason) {
  fault = SimulatedRig::Fault::Unpatched;
  WithWindow([&](AutoTuneWindow& window) {
    Run(window, true);
    EXPECT_EQ(window.MessageLabel->text(), "no signal: is the oscillator patched to the audio input?");
    EXPECT_EQ(window.StatusLabel->text(), "Stopped: the table is unchanged.");
    EXPECT_FALSE(window.BtnSaveReport->isEnabled());
  });
  EXPECT_TRUE(Questions().empty());
  EXPECT_EQ(form->NoteTable(), old);
  EXPECT_EQ(SentHex(), Texts{});
}

TEST_F(TuneWindow, NoRunWithoutAnAudioInputOrAMidiOutput) {
  inputOpens = false;
  WithWindow([&](AutoTuneWindow& window) {
    EXPECT_EQ(window.MessageLabel->text(), "Cannot open capture device default - Device or resource busy");
    Run(window, true);
    EXPECT_EQ(window.MessageLabel->text(), "No audio input is open: choose the one the oscillator is patched to.");
  });
  inputOpens = true;
  form->MidiOutput1->Close();
  WithWindow([&](AutoTuneWindow& window) {
    Run(window, true);
    EXPECT_EQ(window.MessageLabel->text(),
              "No MIDI output is open: choose the interface's output on the \"Config\" tab.");
  });
  EXPECT_EQ(rigsMade, 0);
  EXPECT_TRUE(Questions().empty());
}

TEST_F(TuneWindow, ReportHasOneRowPerTunedNote) {
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string path = dir.filePath("run").toStdString();
  WithWindow([&](AutoTuneWindow& window) {
    window.FirstEntry->setValue(13);
    window.LastEntry->setValue(15);
    Run(window, true);
    dialogs->AnswerNextFileDialog(path);
    QTest::mouseClick(window.BtnSaveReport, Qt::LeftButton);
    EXPECT_EQ(window.MessageLabel->text(), "");
  });
  std::ifstream file(path + ".csv", std::ios::binary);
  const std::string csv(std::istreambuf_iterator<char>(file), {});
  const QStringList lines = QString::fromStdString(csv).split('\n');
  ASSERT_EQ(lines.size(), 5) << csv;  // header, three rows, the empty rest after the last newline
  EXPECT_EQ(lines[0], "entry,note,target_hz,measured_before_hz,cents_before,measured_after_hz,cents_after,dac");
  const QRegularExpression row(R"(^(\d+),([A-G][ #]-?\d+),(\d+\.\d{3}),\d+\.\d{3},-?\d+\.\d{2},\d+\.\d{3},-?\d+\.\d{2},(\d+)$)");
  const char* notes[] = {"C 1", "C#1", "D 1"};
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    const auto match = row.match(lines[i + 1]);
    ASSERT_TRUE(match.hasMatch()) << lines[i + 1].toStdString();
    EXPECT_EQ(match.captured(1).toInt(), 13 + i);
    EXPECT_EQ(match.captured(2), notes[i]);
    EXPECT_NEAR(match.captured(3).toDouble(), 440 * std::exp2((36 + i - 69) / 12.0), 0.001);
    EXPECT_EQ(match.captured(4).toInt(), form->NoteTable()[12 + i]);
  }
  EXPECT_EQ(lines[4], "");
}

}  // namespace
