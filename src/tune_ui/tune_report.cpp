#include "tune_ui/tune_report.h"

#include "config/note_name.h"
#include "tune/pitch_meter.h"

namespace tune_ui {

namespace {

// Always with a point, whatever the user's locale.
std::string Fixed(double value, int decimals) { return QString::number(value, 'f', decimals).toStdString(); }

// A measured pitch and its cents from the target; both empty when not measured.
std::string Measured(double hz, double targetHz) {
  if (hz <= 0 || targetHz <= 0) return ",";
  return Fixed(hz, 3) + "," + Fixed(tune::Cents(hz, targetHz), 2);
}

}  // namespace

std::string TuneReportCsv(const std::vector<tune::NoteReport>& notes, int baseNote) {
  std::string csv = "entry,note,target_hz,measured_before_hz,cents_before,measured_after_hz,cents_after,dac\n";
  for (const tune::NoteReport& note : notes) {
    csv += std::to_string(note.entry + 1) + "," + NoteName(note.entry, baseNote).toStdString() + "," +
           Fixed(note.target_hz, 3) + "," + Measured(note.before_hz, note.target_hz) + "," +
           Measured(note.after_hz, note.target_hz) + "," + std::to_string(note.dac) + "\n";
  }
  return csv;
}

}  // namespace tune_ui
