// The MIDI clock generator of the test panel: Start, a Timing Clock per tick of
// Timer1, and Stop, each as a one-byte long message.
#include "app/form1.h"
#include "midi/midi_output.h"

namespace {
constexpr BYTE kTimingClock = 0xF8;
constexpr BYTE kStart = 0xFA;
constexpr BYTE kStop = 0xFC;
}  // namespace

// The interval is taken only here, so a new speed applies from the next start.
// Speeds below 6 give 0 ms: the timer then never ticks.
void TForm1::Button3Click(TObject*) {
  Timer1->SetInterval(UpDown10->Position() / 6);
  Timer1->SetEnabled(!Timer1->Enabled());
  // The state changes before the send, so a failing port still toggles it.
  if (Timer1->Enabled()) {
    Button3->SetCaption("Stop");
    MidiOutput1->PutLong(&kStart, 1);
  } else {
    Button3->SetCaption("Start");
    MidiOutput1->PutLong(&kStop, 1);
  }
}

// A failing tick stops the generator before its error is shown, once: otherwise
// each next tick brings the box back right after it is dismissed.
void TForm1::Timer1Timer(TObject*) {
  try {
    MidiOutput1->PutLong(&kTimingClock, 1);
  } catch (...) {
    StopClockGenerator();
    throw;
  }
}

// Leaves the running state without sending MIDI Stop: a clock-divider change uses it.
void TForm1::StopClockGenerator() {
  Timer1->SetEnabled(false);
  Button3->SetCaption("Run");
}
