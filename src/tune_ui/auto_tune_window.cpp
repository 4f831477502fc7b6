#include "tune_ui/auto_tune_window.h"

#include <QBuffer>
#include <QButtonGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDoubleSpinBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <cmath>
#include <exception>

#include "app/form1.h"
#include "config/config_record.h"
#include "config/note_name.h"
#include "files/file_io.h"
#include "midi/midi_output.h"
#include "protocol/parameter_map.h"
#include "tune/pitch_meter.h"
#include "tune/tuning_report.h"
#include "tune/tuning_search.h"
#include "tune_ui/tune_chart.h"
#include "ui/dialogs.h"

namespace tune_ui {

namespace {

QDoubleSpinBox* HzBox(double min, double max, double value) {
  auto* box = new QDoubleSpinBox;
  box->setRange(min, max);
  box->setDecimals(2);
  box->setValue(value);
  return box;
}

QSpinBox* EntryBox(int value) {
  auto* box = new QSpinBox;
  box->setRange(1, kTableSize);
  box->setValue(value);
  return box;
}

std::vector<uint8_t> Bytes(const QByteArray& data) { return {data.begin(), data.end()}; }

}  // namespace

AutoTuneWindow::AutoTuneWindow(TForm1& form, AutoTuneParts parts, QWidget* parent)
    : QDialog(parent), form_(form), parts_(std::move(parts)) {
  setWindowTitle("Auto-tune");
  setModal(true);

  auto* inputBox = new QGroupBox("Audio input");
  auto* inputRow = new QHBoxLayout(inputBox);
  InputList = new QComboBox;
  InputList->setMinimumWidth(280);
  LevelMeter = new QProgressBar;
  LevelMeter->setRange(0, 100);
  LevelMeter->setTextVisible(false);
  inputRow->addWidget(InputList, 2);
  inputRow->addWidget(new QLabel("Level"));
  inputRow->addWidget(LevelMeter, 1);

  auto* referenceBox = new QGroupBox("Reference");
  auto* referenceRow = new QHBoxLayout(referenceBox);
  const int baseNote = form_.UpDown2->Position();
  RefBaseNote = new QRadioButton("Base note = Hz");
  BaseNoteHz = HzBox(1, 20000, tune::BaseFrequencyFromA4(baseNote, 440));
  RefCurrent = new QRadioButton("As it is now");
  RefA4 = new QRadioButton("A4 = Hz");
  A4Hz = HzBox(100, 1000, 440);
  RefA4->setChecked(true);
  auto* references = new QButtonGroup(this);
  for (QRadioButton* button : {RefBaseNote, RefCurrent, RefA4}) references->addButton(button);
  referenceRow->addWidget(RefBaseNote);
  referenceRow->addWidget(BaseNoteHz);
  referenceRow->addSpacing(12);
  referenceRow->addWidget(RefCurrent);
  referenceRow->addSpacing(12);
  referenceRow->addWidget(RefA4);
  referenceRow->addWidget(A4Hz);
  referenceRow->addStretch();

  auto* rangeBox = new QGroupBox("Table entries");
  auto* rangeRow = new QHBoxLayout(rangeBox);
  FirstEntry = EntryBox(1);
  LastEntry = EntryBox(kTableSize);
  rangeRow->addWidget(new QLabel("First"));
  rangeRow->addWidget(FirstEntry);
  rangeRow->addSpacing(12);
  rangeRow->addWidget(new QLabel("Last"));
  rangeRow->addWidget(LastEntry);
  rangeRow->addStretch();

  Chart = new TuneChart;
  Progress = new QProgressBar;
  Progress->setRange(0, 1);
  Progress->setValue(0);
  StatusLabel = new QLabel("Ready");
  MessageLabel = new QLabel;
  MessageLabel->setWordWrap(true);
  QPalette red = MessageLabel->palette();
  red.setColor(QPalette::WindowText, QColor(190, 0, 0));
  MessageLabel->setPalette(red);

  BtnStart = new QPushButton("Start");
  BtnCancel = new QPushButton("Cancel");
  BtnSaveReport = new QPushButton("Save Report...");
  BtnSaveChart = new QPushButton("Save Chart...");
  BtnSaveReport->setEnabled(false);
  BtnStart->setDefault(true);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(BtnStart);
  buttons->addWidget(BtnCancel);
  buttons->addStretch();
  buttons->addWidget(BtnSaveReport);
  buttons->addWidget(BtnSaveChart);

  auto* layout = new QVBoxLayout(this);
  layout->addWidget(inputBox);
  layout->addWidget(referenceBox);
  layout->addWidget(rangeBox);
  layout->addWidget(Chart, 1);
  layout->addWidget(Progress);
  layout->addWidget(StatusLabel);
  layout->addWidget(MessageLabel);
  layout->addLayout(buttons);

  connect(BtnStart, &QPushButton::clicked, this, [this] { StartClick(); });
  connect(BtnCancel, &QPushButton::clicked, this, [this] { reject(); });
  connect(BtnSaveReport, &QPushButton::clicked, this, [this] { SaveReportClick(); });
  connect(BtnSaveChart, &QPushButton::clicked, this, [this] { SaveChartClick(); });
  connect(&levelTimer_, &QTimer::timeout, this, [this] { ShowLevel(); });

  for (const audio::AudioDevice& device : parts_.listInputs())
    InputList->addItem(QString::fromStdString(device.description), QString::fromStdString(device.name));
  connect(InputList, &QComboBox::currentIndexChanged, this, [this](int index) { OpenInput(index); });
  if (InputList->count() == 0) MessageLabel->setText("No audio input found.");
  else OpenInput(0);
  levelTimer_.start(50);
}

AutoTuneWindow::~AutoTuneWindow() = default;

void AutoTuneWindow::reject() {
  if (!running_) {
    QDialog::reject();
    return;
  }
  cancelled_ = true;
  StatusLabel->setText("Cancelling...");
}

void AutoTuneWindow::OpenInput(int index) {
  input_.reset();
  LevelMeter->setValue(0);
  MessageLabel->clear();
  if (index < 0) return;
  std::string why;
  input_ = parts_.openInput(InputList->itemData(index).toString().toStdString(), why);
  if (!input_) MessageLabel->setText(QString::fromStdString(why));
}

void AutoTuneWindow::ShowLevel() {
  LevelMeter->setValue(input_ ? static_cast<int>(std::lround(100 * input_->Level())) : 0);
}

void AutoTuneWindow::SetRunning(bool running) {
  running_ = running;
  for (QWidget* control : std::initializer_list<QWidget*>{InputList, RefBaseNote, BaseNoteHz, RefCurrent, RefA4,
                                                          A4Hz, FirstEntry, LastEntry, BtnStart, BtnSaveReport,
                                                          BtnSaveChart})
    control->setEnabled(!running);
  if (!running) BtnSaveReport->setEnabled(result_.ok);
}

tune::TuningSetup AutoTuneWindow::Setup() {
  // What a full transfer would send now: the interface is taken to hold it.
  const TConfigRecord record = form_.GetConfigRecord();
  auto field = [&](int parameter) { return record[static_cast<std::size_t>(parameter - param::CONFIG_FIRST)]; };
  tune::TuningSetup setup;
  setup.device_id = form_.ud_DeviceID->Position();
  setup.channel = setup.saved_channel = field(param::CAN) + 1;
  setup.base_note = setup.saved_base_note = field(param::NREF);
  setup.cfg0 = static_cast<std::uint8_t>(field(param::CFG0));
  setup.cfg2 = static_cast<std::uint8_t>(field(param::CFG2));
  setup.reference = RefBaseNote->isChecked() ? tune::Reference::BaseNote
                    : RefCurrent->isChecked() ? tune::Reference::Current
                                              : tune::Reference::A4;
  setup.reference_hz = RefBaseNote->isChecked() ? BaseNoteHz->value() : A4Hz->value();
  setup.first = FirstEntry->value() - 1;
  setup.last = LastEntry->value() - 1;
  setup.table = form_.NoteTable();
  return setup;
}

void AutoTuneWindow::StartClick() {
  MessageLabel->clear();
  if (!form_.MidiOutput1 || form_.MidiOutput1->State() != mosOpen) {
    MessageLabel->setText("No MIDI output is open: choose the interface's output on the \"Config\" tab.");
    return;
  }
  if (!input_) {
    MessageLabel->setText("No audio input is open: choose the one the oscillator is patched to.");
    return;
  }
  if (FirstEntry->value() > LastEntry->value()) {
    MessageLabel->setText("The first entry comes after the last.");
    return;
  }
  // Afresh for each run: an input that failed in the last one delivers again.
  OpenInput(InputList->currentIndex());
  if (!input_) return;
  try {
    Run();
  } catch (const std::exception& e) {
    SetRunning(false);
    MessageLabel->setText(QString::fromStdString(e.what()));
  }
}

void AutoTuneWindow::Run() {
  const tune::TuningSetup setup = Setup();
  baseNote_ = setup.base_note;
  targets_.fill(0);
  if (setup.reference != tune::Reference::Current)
    targets_ = tune::TargetFrequencies(setup.reference == tune::Reference::BaseNote
                                           ? setup.reference_hz
                                           : tune::BaseFrequencyFromA4(setup.base_note, setup.reference_hz));
  Chart->SetPoints(setup.first, setup.last, {});
  std::unique_ptr<tune::TuningRig> rig = parts_.makeRig(*form_.MidiOutput1, *input_);
  result_ = {};
  cancelled_ = false;
  SetRunning(true);
  tune::TuningResult result =
      tune::RunTuning(*rig, setup, [this](const tune::TuningStatus& status) { return ShowProgress(status); });
  ShowNotes(result.notes);
  if (!result.ok) {
    SetRunning(false);
    StatusLabel->setText("Stopped: the table is unchanged.");
    MessageLabel->setText(QString::fromStdString(result.reason));
    return;
  }
  Progress->setValue(Progress->maximum());
  result_ = std::move(result);
  SetRunning(false);
  StatusLabel->setText("Done.");
  MessageLabel->setText(QString::fromStdString(result_.warning));
  if (!ui::Dialogs::Current().AskYesNo("Accept?", "Auto-tune")) {
    StatusLabel->setText("Done: the old table is kept.");
    return;
  }
  StatusLabel->setText("Done: the tuned table is in the editor.");
  form_.TakeNoteTable(result_.table);
}

bool AutoTuneWindow::ShowProgress(const tune::TuningStatus& status) {
  Progress->setRange(0, status.total);
  Progress->setValue(status.done);
  StatusLabel->setText(QStringLiteral("%1: %2 (entry %3)")
                           .arg(QString::fromStdString(status.phase), NoteName(status.entry, baseNote_).trimmed())
                           .arg(status.entry + 1));
  if (status.notes) ShowNotes(*status.notes);
  QCoreApplication::processEvents();
  return !cancelled_;
}

void AutoTuneWindow::ShowNotes(const std::vector<tune::NoteReport>& notes) {
  std::vector<TuneChart::Point> points;
  for (const tune::NoteReport& note : notes) {
    const double target = note.target_hz > 0 ? note.target_hz : targets_[static_cast<std::size_t>(note.entry)];
    TuneChart::Point point{note.entry, {}, {}};
    if (target > 0 && note.before_hz > 0) point.before = tune::Cents(note.before_hz, target);
    if (target > 0 && note.after_hz > 0) point.after = tune::Cents(note.after_hz, target);
    points.push_back(point);
  }
  Chart->SetPoints(FirstEntry->value() - 1, LastEntry->value() - 1, std::move(points));
}

void AutoTuneWindow::SaveReportClick() {
  ui::TSaveDialog dialog;
  dialog.Title = "Save Auto-tune Report";
  dialog.Filter = "CSV File|*.csv|All Files|*";
  dialog.FileName = "TuneReport";
  if (!dialog.Execute()) return;
  const std::string target = files::SaveTarget(dialog.FileName, ".csv");
  const std::string csv = tune::ReportCsv(result_, baseNote_);
  MessageLabel->clear();
  if (!files::WriteFileAtomically(target, {csv.begin(), csv.end()}))
    MessageLabel->setText(QStringLiteral("The report was not saved: cannot write %1").arg(QString::fromStdString(target)));
}

void AutoTuneWindow::SaveChartClick() {
  ui::TSaveDialog dialog;
  dialog.Title = "Save Auto-tune Chart";
  dialog.Filter = "PNG Image|*.png|All Files|*";
  dialog.FileName = "TuneChart";
  if (!dialog.Execute()) return;
  const std::string target = files::SaveTarget(dialog.FileName, ".png");
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  Chart->grab().save(&buffer, "PNG");
  MessageLabel->clear();
  if (!files::WriteFileAtomically(target, Bytes(png)))
    MessageLabel->setText(QStringLiteral("The chart was not saved: cannot write %1").arg(QString::fromStdString(target)));
}

}  // namespace tune_ui
