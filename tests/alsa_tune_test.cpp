// Auto-tune on real kernel devices, inside the test VM: the tool, or the
// editor's window, sends to a USB MIDI interface on the kernel's own driver,
// what reaches the interface is read back raw on the gadget's side, and the
// oscillator it drives plays into snd-aloop's playback side, whose capture side
// the run records.

#include <alsa/asoundlib.h>
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <sstream>
#include <thread>

#include "app/form1.h"
#include "cli/tool.h"
#include "midi/midi_output.h"
#include "midi/platform/alsa_backend.h"
#include "midi/platform/midi_backend.h"
#include "protocol/parameter_map.h"
#include "support/simulated_rig.h"
#include "support/tune_window_run.h"
#include "support/usb_units.h"
#include "tune_ui/auto_tune_window.h"
#include "ui/dialogs.h"

namespace {

using namespace testing_support;

// The interface's CV 1 and the oscillator on it, as in the JACK rig: the state
// comes from the messages that reached the unit, the tone goes out through the
// loopback card's playback side, 5 ms at a time, 50 ms ahead, so that an
// emulated processor's stalls do not stop the loop.
class LoopbackOscillator {
 public:
  LoopbackOscillator(UsbMidiUnit& unit, const std::array<std::uint8_t, 32>& record, const TNoteTable& table)
      : unit_(unit), model_(record, table) {
    if (snd_pcm_open(&pcm_, "hw:Loopback,0,0", SND_PCM_STREAM_PLAYBACK, 0) < 0 ||
        snd_pcm_set_params(pcm_, SND_PCM_FORMAT_S16_LE, SND_PCM_ACCESS_RW_INTERLEAVED, 1, 48000, 0, 50000) < 0) {
      why_ = "cannot open snd-aloop's playback side";
      return;
    }
    unit_.Clear();
    thread_ = std::thread([this] { Play(); });
  }
  ~LoopbackOscillator() {
    Stop();
    if (pcm_) snd_pcm_close(pcm_);
  }
  void Stop() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }
  // Once the run's restore has come in, or after 20 s: the run's set-up sends
  // one CFG2 message, its restore the last. Only the oscillator's thread reads
  // the unit, so it is left to take them.
  void StopAfterRestore() {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (cfg2_taken_ < 2 && std::chrono::steady_clock::now() < limit)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    Stop();
  }
  const std::string& Why() const { return why_; }
  const InterfaceModel& Interface() const { return model_; }

 private:
  void Take(const std::string& hex) {
    std::vector<std::uint8_t> m;
    for (std::size_t at = 0; at + 1 < hex.size(); at += 3)
      m.push_back(static_cast<std::uint8_t>(std::stoi(hex.substr(at, 2), nullptr, 16)));
    if (model_.Receive(m.data(), m.size()) == param::CFG2) ++cfg2_taken_;
  }
  void Play() {
    std::size_t taken = 0;
    std::vector<std::int16_t> period(240);
    unsigned noise = 1;
    while (!stop_) {
      const std::vector<std::string> got = unit_.Received();
      for (; taken < got.size(); ++taken) Take(got[taken]);
      const double hz = model_.Pitch();
      for (std::int16_t& s : period) {
        noise = noise * 1664525u + 1013904223u;
        const double hiss = ((noise >> 8) / 16777216.0 - 0.5) * 0.0004;
        s = static_cast<std::int16_t>(32767 * ((model_.Holding() ? 0.4 * (2 * phase_ - 1) : 0) + hiss));
        phase_ += hz / 48000;
        phase_ -= std::floor(phase_);
      }
      snd_pcm_sframes_t wrote = snd_pcm_writei(pcm_, period.data(), period.size());
      if (wrote < 0) snd_pcm_recover(pcm_, static_cast<int>(wrote), 1);
    }
  }

  UsbMidiUnit& unit_;
  InterfaceModel model_;
  std::string why_;
  snd_pcm_t* pcm_ = nullptr;
  std::thread thread_;
  std::atomic<bool> stop_{false};
  std::atomic<int> cfg2_taken_{0};
  double phase_ = 0;
};

// The unit plugged in and the kernel sequencer as the MIDI service.
class UsbTuneRig : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!getenv("TQX_IN_VM")) GTEST_SKIP() << "needs the test VM's USB controllers and snd-aloop";
    unit_ = std::make_unique<UsbMidiUnit>("Tune", 0);
    ASSERT_TRUE(unit_->Ready()) << unit_->Why();
    std::string why;
    std::unique_ptr<MidiBackend> backend = OpenAlsaMidiBackend(why);
    ASSERT_TRUE(backend) << why;
    SetMidiBackend(std::move(backend));
  }
  void TearDown() override { SetMidiBackend(nullptr); }

  std::unique_ptr<UsbMidiUnit> unit_;
};

TEST_F(UsbTuneRig, ToolTunesAUsbInterfaceHeardThroughALoopbackCard) {
  // Channel 2, base note 36, Polyphonic, CV 2 "Tab", as the JACK rig's.
  const std::array<std::uint8_t, 32> record = {0x01, 0x24, 0x00, 0x05, 0x01, 0x07, 0x00, 0x00, 0x00, 0x80, 0x11,
                                               0x02, 0x3F, 0x3F, 0x0C, 0x18, 0x02, 0x00, 0x01, 0x02, 0x03, 0x04,
                                               0x40, 0x40, 0x40, 0x40, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00};
  TNoteTable held{};
  QByteArray heldTable;
  for (int i = 0; i < kTableSize; ++i) {
    held[static_cast<std::size_t>(i)] = 5 * i + 10;
    heldTable.append(static_cast<char>(5 * i + 10));
  }
  QTemporaryDir dir;
  const auto write = [&](const char* name, const QByteArray& bytes) {
    QFile file(dir.filePath(name));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  };
  write("held.TQC", QByteArray(reinterpret_cast<const char*>(record.data()), 32));
  write("held.3CV", heldTable);
  const std::string tuned = dir.filePath("tuned.3CV").toStdString();

  auto osc = std::make_unique<LoopbackOscillator>(*unit_, record, held);
  ASSERT_TRUE(osc->Why().empty()) << osc->Why();
  const auto start = std::chrono::steady_clock::now();
  std::ostringstream out, err;
  cli::Io io{out, err, false, {}};
  const int code = cli::Run({"tune", "--port", "TQX Cable", "--audio-input", "hw:Loopback,1,0", "--out", tuned,
                             "--config", dir.filePath("held.TQC").toStdString(), "--table",
                             dir.filePath("held.3CV").toStdString()},
                            io);
  std::printf("tuning run in the VM: %.1f s\n",
              std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  ASSERT_EQ(code, 0) << err.str();
  osc->StopAfterRestore();
  EXPECT_EQ(osc->Interface().Table(), held);
  EXPECT_EQ(osc->Interface().Record(), record);
  EXPECT_EQ(osc->Interface().Flashes(), 0);

  QFile file(QString::fromStdString(tuned));
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray bytes = file.readAll();
  ASSERT_EQ(bytes.size(), kTableSize);
  TNoteTable table{};
  for (int i = 0; i < kTableSize; ++i) table[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bytes[i]);
  ExpectTuned(table, 36);
}

TEST_F(UsbTuneRig, WindowTunesAUsbInterfaceHeardThroughALoopbackCard) {
  ui::ScriptedDialogs dialogs;
  dialogs.AnswerNextQuestion(true);  // "Accept?"
  auto form = std::make_unique<TForm1>();
  form->RadioButton1->SetChecked(true);  // Polyphonic: the run plays Monophonic and must set it back
  // The editor opens the first MIDI port, a VirMIDI one here: the user picks the cable.
  const int cable = form->cmbOutput->findText("TQX Cable", Qt::MatchContains);
  ASSERT_GE(cable, 0);
  form->cmbOutput->SetItemIndex(cable);
  emit form->cmbOutput->activated(cable);
  ASSERT_EQ(form->MidiOutput1->State(), mosOpen);
  ASSERT_NE(form->cmbOutput->Text().toStdString().find("TQX Cable"), std::string::npos);
  // The interface holds what the editor holds, as after a full transfer.
  const std::array<int, 32> editor = form->GetConfigRecord();
  std::array<std::uint8_t, 32> record{};
  for (std::size_t i = 0; i < record.size(); ++i) record[i] = static_cast<std::uint8_t>(editor[i]);
  const TNoteTable held = form->NoteTable();
  LoopbackOscillator osc(*unit_, record, held);
  ASSERT_TRUE(osc.Why().empty()) << osc.Why();

  // ALSA's list names the loopback card's capture side by card and device.
  const QString input("hw:CARD=Loopback,DEV=1");
  ASSERT_TRUE(TuneFromWindow(*form, input, "tuning run from the window in the VM", "auto_tune_vm.png",
                             [&](tune_ui::AutoTuneWindow& window, int row) {
                               // Both capture sides have one description: the list tells them apart.
                               EXPECT_TRUE(window.InputList->itemText(row).endsWith(" (" + input + ")"))
                                   << window.InputList->itemText(row).toStdString();
                             }));
  osc.StopAfterRestore();
  ExpectTuned(form->NoteTable(), editor[param::NREF - param::CONFIG_FIRST]);
  // The run sent back the editor's configuration and table, and nothing went to flash.
  EXPECT_EQ(osc.Interface().Record(), record);
  EXPECT_EQ(osc.Interface().Table(), held);
  EXPECT_EQ(osc.Interface().Flashes(), 0);
  form.reset();
}

}  // namespace
