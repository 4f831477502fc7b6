#pragma once

#include <string>

#include "tune/tuning_run.h"

namespace tune {

// One row per tuned note: entry (1..48), note name, target, measured before and
// after, their errors in cents, the DAC value; a value not measured is empty.
std::string ReportCsv(const TuningResult& result, int base_note);

// The same as one JSON object, with the whole table and the reason of a failure.
std::string ReportJson(const TuningResult& result, int base_note);

}  // namespace tune
