#pragma once

#include <string>
#include <vector>

#include "tune/tuning_run.h"

namespace tune_ui {

// A run's notes as CSV, one row per tuned note, entries counted from 1 as the
// window shows them; the "before" fields are empty for a note not measured.
std::string TuneReportCsv(const std::vector<tune::NoteReport>& notes, int baseNote);

}  // namespace tune_ui
