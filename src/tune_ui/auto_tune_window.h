#pragma once

#include <QDialog>
#include <QTimer>
#include <array>
#include <memory>

#include "tune/tuning_run.h"
#include "tune_ui/auto_tune_parts.h"

class QComboBox;
class QDoubleSpinBox;
class QLabel;
class QProgressBar;
class QPushButton;
class QRadioButton;
class QSpinBox;
class TForm1;

namespace tune_ui {

class TuneChart;

// "Auto-tune": measures the oscillator on CV 1 through an audio input, tunes the
// main window's note table and offers the result to it. The run keeps the GUI
// thread, as every transfer of the editor does, and lets the window repaint and
// Cancel be clicked between its steps.
class AutoTuneWindow : public QDialog {
 public:
  AutoTuneWindow(TForm1& form, AutoTuneParts parts, QWidget* parent = nullptr);
  ~AutoTuneWindow() override;

  QComboBox* InputList;  // the audio input the oscillator is patched to
  QProgressBar* LevelMeter;  // its peak level, read while the window is up
  QRadioButton* RefBaseNote;  // the base note sounds at BaseNoteHz
  QDoubleSpinBox* BaseNoteHz;
  QRadioButton* RefCurrent;  // keep the pitch the base note has now
  QRadioButton* RefA4;  // equal temperament with A4 at A4Hz
  QDoubleSpinBox* A4Hz;
  QSpinBox* FirstEntry;  // the table entries to tune, 1..48
  QSpinBox* LastEntry;
  QPushButton* BtnStart;
  QPushButton* BtnCancel;  // stops a run, or closes the window
  QPushButton* BtnSaveReport;
  QPushButton* BtnSaveChart;
  QProgressBar* Progress;
  QLabel* StatusLabel;  // the phase and the note being measured, then how it ended
  QLabel* MessageLabel;  // why nothing ran, why a run stopped, a file not written
  TuneChart* Chart;

 protected:
  // Closing while a run goes on cancels the run first.
  void reject() override;

 private:
  void OpenInput(int index);
  void ShowLevel();
  void StartClick();
  void Run();
  bool ShowProgress(const tune::TuningStatus& status);
  void ShowNotes(const std::vector<tune::NoteReport>& notes);
  void SaveReportClick();
  void SaveChartClick();
  void SetRunning(bool running);
  tune::TuningSetup Setup();

  TForm1& form_;
  AutoTuneParts parts_;
  std::unique_ptr<audio::AudioInput> input_;
  QTimer levelTimer_;
  bool running_ = false;
  bool cancelled_ = false;
  int baseNote_ = 0;
  std::array<double, kTableSize> targets_{};  // known before the run unless "As it is now"
  tune::TuningResult result_;  // of the last run that ended well
};

}  // namespace tune_ui
