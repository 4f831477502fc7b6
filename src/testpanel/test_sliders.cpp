// The test sliders: each moves an output of the interface by sending the
// controller its source list names, or pitch bend, at once and without pacing.
#include "app/form1.h"
#include "midi/midi_output.h"

void TForm1::SendControlChange(uint8_t channel, uint8_t controller, uint8_t value) {
  MidiOutput1->PutShort(static_cast<uint8_t>(0xB0 + channel), controller, value);
}

// The 14-bit bend is position x 64: odd positions carry 0x40 in the low byte.
void TForm1::SendPitchBend(uint8_t channel, uint8_t position) {
  MidiOutput1->PutShort(static_cast<uint8_t>(0xE0 + channel), static_cast<uint8_t>((position & 1) * 64),
                        static_cast<uint8_t>(position / 2));
}

// Entry n of a source list is controller n - 1; entry 0 is "none".
void TForm1::SendSliderController(TComboBox* source, TTrackBar* slider) {
  const int index = source->ItemIndex();
  if (index < 1) return;
  SendControlChange(static_cast<uint8_t>(UpDown1->Position() - 1), static_cast<uint8_t>(index - 1),
                    static_cast<uint8_t>(slider->Position()));
}

void TForm1::TrackBar7Change(TObject*) { SendSliderController(ComboBox5, TrackBar7); }
void TForm1::TrackBar6Change(TObject*) { SendSliderController(ComboBox6, TrackBar6); }
void TForm1::TrackBar2Change(TObject*) { SendSliderController(ComboBox1, TrackBar2); }
void TForm1::TrackBar3Change(TObject*) { SendSliderController(ComboBox2, TrackBar3); }
void TForm1::TrackBar5Change(TObject*) { SendSliderController(ComboBox7, TrackBar5); }
void TForm1::TrackBar8Change(TObject*) { SendSliderController(ComboBox8, TrackBar8); }

void TForm1::TrackBar9Change(TObject*) {
  SendPitchBend(static_cast<uint8_t>(UpDown1->Position() - 1), static_cast<uint8_t>(TrackBar9->Position()));
}
