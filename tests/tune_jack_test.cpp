// Auto-tune by the tool on a real JACK server: the interface and its oscillator
// are a JACK client of the test's own (JackOscillator), heard through a JACK
// audio port.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <chrono>
#include <sstream>
#include <thread>

#include "app/form1.h"
#include "cli/tool.h"
#include "midi/midi_output.h"
#include "midi/platform/jack_backend.h"
#include "midi/platform/midi_backend.h"
#include "protocol/parameter_map.h"
#include "support/jack_oscillator.h"
#include "support/jack_server.h"
#include "support/simulated_rig.h"
#include "support/tune_window_run.h"
#include "support/test_support.h"
#include "tune/tuning_search.h"
#include "ui/dialogs.h"

namespace {

using namespace testing_support;
using namespace std::chrono_literals;

class TuneJackTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { server_ = new JackServer(); }
  static void TearDownTestSuite() {
    delete server_;
    server_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(server_->Running()) << server_->Why();
    ASSERT_TRUE(dir_.isValid());
    osc_ = std::make_unique<JackOscillator>();
    ASSERT_TRUE(osc_->Why().empty()) << osc_->Why();
    // What the interface held before: channel 2, base note 36, Polyphonic, CV 2 "Tab".
    const std::array<char, 32> record = {0x01, 0x24, 0x00, 0x05, 0x01, 0x07, 0x00, 0x00, 0x00, char(0x80), 0x11,
                                         0x02, 0x3F, 0x3F, 0x0C, 0x18, 0x02, 0x00, 0x01, 0x02, 0x03, 0x04,
                                         0x40, 0x40, 0x40, 0x40, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00};
    for (int i = 0; i < 32; ++i) osc_->Interface().Preset(param::CONFIG_FIRST + i, static_cast<uint8_t>(record[static_cast<std::size_t>(i)]));
    for (int i = 0; i < kTableSize; ++i) osc_->Interface().Preset(param::TABLE_FIRST + i, 5 * i + 10);
    Write("held.TQC", QByteArray(record.data(), 32));
    QByteArray table;
    for (int i = 0; i < kTableSize; ++i) table.append(static_cast<char>(5 * i + 10));
    Write("held.3CV", table);
    std::string why;
    std::unique_ptr<MidiBackend> backend = OpenJackMidiBackend(why);
    ASSERT_TRUE(backend) << why;
    SetMidiBackend(std::move(backend));
  }
  void TearDown() override {
    SetMidiBackend(nullptr);
    osc_.reset();
  }

  std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }
  void Write(const char* name, const QByteArray& bytes) {
    QFile file(dir_.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  int Tune(const std::string& audio, std::string& said) {
    std::ostringstream out, err;
    cli::Io io{out, err, false, {}};
    const int code = cli::Run({"tune", "--port", osc_->MidiInput(), "--audio-input", audio, "--out",
                               Path("tuned.3CV"), "--config", Path("held.TQC"), "--table", Path("held.3CV"),
                               "--report", Path("report.csv")},
                              io);
    said = out.str() + err.str();
    return code;
  }
  void ExpectHeldAsBefore() {
    for (int i = 0; i < kTableSize; ++i) EXPECT_EQ(osc_->Interface().Entry(i), 5 * i + 10) << i;
    EXPECT_EQ(osc_->Interface().Field(param::CAN), 1);
    EXPECT_EQ(osc_->Interface().Field(param::NREF), 36);
    EXPECT_EQ(osc_->Interface().Field(param::CFG0), 0x80);
    EXPECT_EQ(osc_->Interface().Field(param::CFG2), 0x02);
    EXPECT_EQ(osc_->Interface().Flashes(), 0);
  }

  static JackServer* server_;
  QTemporaryDir dir_;
  std::unique_ptr<JackOscillator> osc_;
};

JackServer* TuneJackTest::server_ = nullptr;

TEST_F(TuneJackTest, ToolTunesEveryNoteAndTheInterfaceEndsAsItWas) {
  const auto start = std::chrono::steady_clock::now();
  std::string said;
  ASSERT_EQ(Tune("jack:" + osc_->AudioOutput(), said), 0) << said;
  std::printf("tuning run: %.1f s\n", std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  QFile tuned(QString::fromStdString(Path("tuned.3CV")));
  ASSERT_TRUE(tuned.open(QIODevice::ReadOnly));
  const QByteArray bytes = tuned.readAll();
  ASSERT_EQ(bytes.size(), kTableSize);
  TNoteTable table{};
  for (int i = 0; i < kTableSize; ++i) table[static_cast<std::size_t>(i)] = static_cast<uint8_t>(bytes[i]);
  ExpectTuned(table, 36);
  ExpectHeldAsBefore();
  QFile report(QString::fromStdString(Path("report.csv")));
  ASSERT_TRUE(report.open(QIODevice::ReadOnly));
  const QList<QByteArray> lines = report.readAll().split('\n');
  EXPECT_EQ(lines[0], "entry,note,target_hz,measured_before_hz,cents_before,measured_after_hz,cents_after,dac");
  EXPECT_EQ(lines.size(), 1 + kTableSize + 1);
}

TEST_F(TuneJackTest, SilenceAndAnUnpluggedInterfaceEndTheRunWithTheirReason) {
  JackOscillator unpatched("tqx-unpatched");
  std::string said;
  EXPECT_EQ(Tune("jack:" + unpatched.AudioOutput(), said), 1);
  EXPECT_EQ(said, "tqx512: no signal: is the oscillator patched to the audio input?\ntqx512: no table written\n");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("tuned.3CV"))));
  ExpectHeldAsBefore();

  // Unplugged while it probes: the probe table is arriving.
  const int probe = tune::ProbeTable()[20];
  std::thread unplug([&] {
    const auto limit = std::chrono::steady_clock::now() + 60s;
    while (osc_->Interface().Entry(20) != probe && std::chrono::steady_clock::now() < limit) std::this_thread::sleep_for(5ms);
    osc_->Close();
  });
  const int code = Tune("jack:" + osc_->AudioOutput(), said);
  unplug.join();
  EXPECT_EQ(code, 1);
  // The port's own words for a device that is gone.
  EXPECT_EQ(said, "tqx512: There is no driver installed on your system.\ntqx512: no table written\n");
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("tuned.3CV"))));
}

TEST_F(TuneJackTest, WindowTunesTheTableThroughTheEditorsOutputAndAJackInput) {
  ui::ScriptedDialogs dialogs;
  dialogs.AnswerNextQuestion(true);  // "Accept?"
  auto form = std::make_unique<TForm1>();
  // The oscillator's MIDI input is a hardware port: the editor opens it.
  ASSERT_EQ(form->MidiOutput1->State(), mosOpen);
  ASSERT_EQ(form->cmbOutput->Text().toStdString(), osc_->MidiInput());
  const int base_note = form->UpDown2->Position();
  const std::array<int, 32> record = form->GetConfigRecord();
  ASSERT_TRUE(TuneFromWindow(*form, QString::fromStdString("jack:" + osc_->AudioOutput()),
                             "tuning run from the window", "auto_tune_jack.png"));
  ExpectTuned(form->NoteTable(), base_note);
  // The interface got back the editor's configuration, and nothing went to flash.
  EXPECT_EQ(osc_->Interface().Field(param::CAN), record[param::CAN - param::CONFIG_FIRST]);
  EXPECT_EQ(osc_->Interface().Field(param::CFG0), record[param::CFG0 - param::CONFIG_FIRST]);
  EXPECT_EQ(osc_->Interface().Field(param::CFG2), record[param::CFG2 - param::CONFIG_FIRST]);
  EXPECT_EQ(osc_->Interface().Flashes(), 0);
  form.reset();
}

}  // namespace
