// The MIDI clock generator of the test panel.
#include "app/form1.h"

// Leaves the running state without sending MIDI Stop: a clock-divider change uses it.
void TForm1::StopClockGenerator() {
  Timer1->SetEnabled(false);
  Button3->SetCaption("Run");
}
