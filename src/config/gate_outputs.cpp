// The six gate outputs: gates 1..4 follow a controller or a note and are usable in
// "Controlers" mode only; gates 5 and 6 have the Start/Stop and MIDI Clock roles.
#include "config/gate_outputs.h"

#include "app/form1.h"
#include "protocol/parameter_map.h"

void TForm1::UpdateGateControls() {
  const bool controllers = RadioButton3->Checked();
  for (QWidget* control : std::initializer_list<QWidget*>{
           CheckBox29, CheckBox30, CheckBox33, CheckBox34, CheckBox28, CheckBox27, CheckBox32,
           CheckBox31, Edit8,      Edit10,     Edit11,     Edit12,     Edit13,     Edit14,
           Edit15,     Edit16,     UpDown11,   UpDown9,    UpDown13,   UpDown12,   UpDown14,
           UpDown15,   UpDown16,   UpDown17})
    control->setEnabled(controllers);
  // Ticks and values stay: they remain part of the record in every mode.
  ComboBox3->setEnabled(controllers && !CheckBox28->Checked());
  ComboBox4->setEnabled(controllers && !CheckBox27->Checked());
  ComboBox9->setEnabled(controllers && !CheckBox32->Checked());
  ComboBox10->setEnabled(controllers && !CheckBox31->Checked());

  Label3->SetCaption(NoteName(UpDown14->Position(), 0));
  Label8->SetCaption(NoteName(UpDown15->Position(), 0));
  Label13->SetCaption(NoteName(UpDown16->Position(), 0));
  Label19->SetCaption(NoteName(UpDown17->Position(), 0));
}

// --- gates 1..4 ---

void TForm1::ComboBox3Change(TObject*) { SendSource(ComboBox3, param::GREF1); }
void TForm1::ComboBox4Change(TObject*) { SendSource(ComboBox4, param::GREF1 + 1); }
void TForm1::ComboBox9Change(TObject*) { SendSource(ComboBox9, param::GREF1 + 2); }
void TForm1::ComboBox10Change(TObject*) { SendSource(ComboBox10, param::GREF1 + 3); }

// A note box replaces the gate's source list by its note number.
void TForm1::CheckBox28Click(TObject*) {
  ComboBox3->setEnabled(!CheckBox28->Checked());
  SendLiveParameter(param::CFG4, GetConfigByte4());
}

void TForm1::CheckBox27Click(TObject*) {
  ComboBox4->setEnabled(!CheckBox27->Checked());
  SendLiveParameter(param::CFG4, GetConfigByte4());
}

void TForm1::CheckBox32Click(TObject*) {
  ComboBox9->setEnabled(!CheckBox32->Checked());
  SendLiveParameter(param::CFG4, GetConfigByte4());
}

void TForm1::CheckBox31Click(TObject*) {
  ComboBox10->setEnabled(!CheckBox31->Checked());
  SendLiveParameter(param::CFG4, GetConfigByte4());
}

// The "Trigg" boxes of gates 1..4 share this handler.
void TForm1::CheckBox29Click(TObject*) { SendLiveParameter(param::CFG4, GetConfigByte4()); }

void TForm1::UpDown11Click(TObject*) { SendLiveParameter(param::GLEV1, UpDown11->Position()); }
void TForm1::UpDown9Click(TObject*) { SendLiveParameter(param::GLEV1 + 1, UpDown9->Position()); }
void TForm1::UpDown13Click(TObject*) {
  SendLiveParameter(param::GLEV1 + 2, UpDown13->Position());
}
void TForm1::UpDown12Click(TObject*) {
  SendLiveParameter(param::GLEV1 + 3, UpDown12->Position());
}

void TForm1::UpDown14Click(TObject*) {
  Label3->SetCaption(NoteName(UpDown14->Position(), 0));
  SendLiveParameter(param::GNOT1, UpDown14->Position());
}

void TForm1::UpDown15Click(TObject*) {
  Label8->SetCaption(NoteName(UpDown15->Position(), 0));
  SendLiveParameter(param::GNOT1 + 1, UpDown15->Position());
}

void TForm1::UpDown16Click(TObject*) {
  Label13->SetCaption(NoteName(UpDown16->Position(), 0));
  SendLiveParameter(param::GNOT1 + 2, UpDown16->Position());
}

void TForm1::UpDown17Click(TObject*) {
  Label19->SetCaption(NoteName(UpDown17->Position(), 0));
  SendLiveParameter(param::GNOT1 + 3, UpDown17->Position());
}

// --- gates 5 and 6 ---

void TForm1::ComboBox7Change(TObject*) { SendSource(ComboBox7, param::CRF0 + 4); }
void TForm1::ComboBox8Change(TObject*) { SendSource(ComboBox8, param::CRF0 + 5); }

// Start/Stop makes gate 5 follow MIDI start and stop instead of a controller; its
// "Trigg" box still applies.
void TForm1::CheckBox22Click(TObject*) {
  const bool available = !CheckBox22->Checked();
  for (QWidget* control : std::initializer_list<QWidget*>{ComboBox7, CheckBox19, TrackBar5,
                                                          Edit1, UpDown5})
    control->setEnabled(available);
  SendTQXConfigByte(CheckBox22);
}

// MIDI Clock makes gate 6 follow the clock: none of its other controls apply.
void TForm1::midiclockCFGClick(TObject*) {
  const bool available = !midiclockCFG->Checked();
  for (QWidget* control : std::initializer_list<QWidget*>{ComboBox8, CheckBox18, CheckBox21,
                                                          Edit2, UpDown3, TrackBar8})
    control->setEnabled(available);
  SendTQXConfigByte(midiclockCFG);
}

// "Velo": the gate follows the note velocity instead of its source.
void TForm1::CheckBox19Click(TObject*) {
  ComboBox7->setEnabled(!CheckBox19->Checked());
  SendTQXConfigByte2(CheckBox19);
}

void TForm1::CheckBox18Click(TObject*) {
  ComboBox8->setEnabled(!CheckBox18->Checked());
  SendTQXConfigByte2(CheckBox18);
}

// The level goes out on the changing notice, before the step takes effect: what is
// sent is the position shown before the step, minus one.
void TForm1::UpDown5Changing(TObject*, bool&) {
  if (ComboBox7->ItemIndex() > 0) SendLiveParameter(param::THR1, UpDown5->Position() - 1);
}

void TForm1::UpDown3Changing(TObject*, bool&) {
  if (ComboBox8->ItemIndex() > 0) SendLiveParameter(param::THR2, UpDown3->Position() - 1);
}
