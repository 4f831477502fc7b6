#include "app/form1.h"
#include "protocol/pacing_clock.h"
#include "protocol/parameter_map.h"
#include "table/form2.h"

void TForm1::SendWithProgress(int firstParameter, const int* values, int count,
                              int progressStep) {
  Form2->CGauge1->SetProgress(0);
  Form2->Show();
  // Raised once the window is up (its mapping needs the window manager, which
  // must not wait for us), for the whole transfer, gauge included; dropped on
  // every way out.
  const PacingPriority priority;
  try {
    // Each message's progress is on screen before it goes out; it is painted
    // in the last moments of the previous message's wait, which it then does
    // not lengthen.
    for (int i = 0; i < count; ++i) {
      SendParameter(ud_DeviceID->Position() - 1, firstParameter + i, values[i], [&, i] {
        if (i + 1 < count) Form2->CGauge1->SetProgress((i + 1) * progressStep);
      });
    }
    if (CheckBox25->Checked())
      SendParameter(ud_DeviceID->Position() - 1, param::COMMAND, param::WRITE_TO_FLASH);
  } catch (...) {
    // Hidden before the error is reported, not left on screen until the next transfer.
    Form2->Close();
    throw;
  }
  Form2->Close();
}
