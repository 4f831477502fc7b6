// The play modes decide which CV and gate controls apply. The order of the steps
// is binding: later steps override earlier ones, and the boxes a mode unticks run
// their own handlers.
#include "app/form1.h"

namespace {
void Enable(std::initializer_list<QWidget*> controls, bool enabled) {
  for (QWidget* control : controls) control->setEnabled(enabled);
}
}  // namespace

// Gate 6: "MIDI Clock" takes it over; otherwise "Velo" replaces its source.
void TForm1::ApplyGate6Rule() {
  if (midiclockCFG->Checked()) {
    Enable({CheckBox18, ComboBox8}, false);
  } else {
    CheckBox18->setEnabled(true);
    ComboBox8->setEnabled(!CheckBox18->Checked());
  }
}

void TForm1::RadioButton2Click(TObject*) {
  ComboBox5->setEnabled(false);
  Enable({ComboBox1, ComboBox2, CheckBox7, CheckBox11, CheckBox10, CheckBox22, ComboBox6}, true);
  ComboBox1->setEnabled(!CheckBox10->Checked());
  ComboBox2->setEnabled(!CheckBox11->Checked());
  CheckBox19->setEnabled(true);
  ApplyGate6Rule();
  ComboBox7->setEnabled(!CheckBox19->Checked());
  Enable({CheckBox17, CheckBox8, CheckBox15, CheckBox14}, false);
  CheckBox16->setEnabled(true);
  TrackBar7->setEnabled(false);
  Enable({TrackBar6, TrackBar3, TrackBar2}, true);
  UpdateGateControls();
  SendTQXConfigByte(RadioButton2);
}

// Also the handler of "4 Voices": ticking or unticking it runs the same rules.
void TForm1::RadioButton1Click(TObject*) {
  Enable({ComboBox5, ComboBox6}, false);
  CheckBox7->setEnabled(true);
  Enable({TrackBar7, TrackBar6}, false);
  Enable({CheckBox22, CheckBox17, CheckBox8}, true);
  CheckBox16->setEnabled(false);
  if (CheckBox17->Checked()) {
    Enable({ComboBox1, ComboBox2, CheckBox10, CheckBox11}, false);
    Enable({CheckBox15, CheckBox14}, true);
    Enable({TrackBar3, TrackBar2, CheckBox19, CheckBox18}, false);
  } else {
    ComboBox1->setEnabled(!CheckBox10->Checked());
    ComboBox2->setEnabled(!CheckBox11->Checked());
    Enable({CheckBox15, CheckBox14}, false);
    Enable({TrackBar3, TrackBar2, CheckBox10, CheckBox11, CheckBox19, CheckBox18}, true);
    ComboBox8->setEnabled(!CheckBox18->Checked());
    ComboBox7->setEnabled(!CheckBox19->Checked());
  }
  // In both branches: with four voices and no MIDI Clock, gate 6's "Velo" ends
  // enabled while gate 5's stays disabled.
  ApplyGate6Rule();
  UpdateGateControls();
  SendTQXConfigByte(RadioButton1);
}

void TForm1::RadioButton3Click(TObject*) {
  Enable({ComboBox5, ComboBox6, ComboBox1, ComboBox2, ComboBox7}, true);
  CheckBox22->SetChecked(false);
  CheckBox10->SetChecked(false);
  CheckBox11->SetChecked(false);
  CheckBox22->setEnabled(true);
  Enable({CheckBox10, CheckBox11}, false);
  ApplyGate6Rule();
  CheckBox18->setEnabled(false);  // keeps its tick
  CheckBox19->SetChecked(false);
  CheckBox19->setEnabled(false);
  Enable({CheckBox15, CheckBox14, CheckBox8, CheckBox7}, false);
  Enable({TrackBar7, TrackBar6, TrackBar2, TrackBar3}, true);
  Enable({CheckBox16, CheckBox17}, false);
  UpdateGateControls();
  SendTQXConfigByte(RadioButton3);
}
