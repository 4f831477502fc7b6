#pragma once

// What the two real rigs share: a tuning run started from the editor's window,
// and the check that a table is tuned.

#include <QString>
#include <functional>
#include <string>

#include "table/note_table.h"

class TForm1;
namespace tune_ui {
class AutoTuneWindow;
}

namespace testing_support {

// Every entry within half a DAC step of its note's pitch (OscillatorHz), plus the
// 2 cents the oscillator may drift during a run.
void ExpectTuned(const TNoteTable& table, int base_note);

// Clicks "Auto-tune" with the platform's audio inputs; in the window, picks the
// input whose data is `input` (`look` sees the window and its row first), clicks
// Start, prints the run's time after `what`, expects the run done, saves the
// window as `picture` under ArtifactDir() and closes it. False when no window
// opened. "Accept?" is answered by the test's own dialogs.
bool TuneFromWindow(TForm1& form, const QString& input, const char* what, const std::string& picture,
                    const std::function<void(tune_ui::AutoTuneWindow&, int)>& look = {});

}  // namespace testing_support
