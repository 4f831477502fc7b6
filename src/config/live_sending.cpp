// Live sending: with "Send Parameters Change to MIDI in real time" ticked, each
// change of a configuration control goes out at once as its parameter. Enabling,
// disabling and labels follow every change whatever the option says.
#include "app/form1.h"
#include "config/config_record.h"
#include "config/gate_outputs.h"
#include "protocol/parameter_map.h"

void TForm1::SendLiveParameter(int parameter, int value) {
  if (CheckBox26->Checked()) SendParameter(ud_DeviceID->Position() - 1, parameter, value);
}

// The interface learns of a none source only from a full transfer: choosing "none"
// or typing text that matches no entry sends nothing.
void TForm1::SendSource(TComboBox* list, int parameter) {
  if (list->ItemIndex() > 0) SendLiveParameter(parameter, SourceValue(list->ItemIndex()));
}

// A click on any one box sends its whole flag byte, computed anew from the controls.
void TForm1::SendTQXConfigByte(TObject*) { SendLiveParameter(param::CFG0, GetConfigByte0()); }
void TForm1::SendTQXConfigByte1(TObject*) { SendLiveParameter(param::CFG1, GetConfigByte1()); }
void TForm1::SendTQXConfigByte2(TObject*) { SendLiveParameter(param::CFG2, GetConfigByte2()); }
void TForm1::SendTQXConfigByte3(TObject*) { SendLiveParameter(param::CFG3, GetConfigByte3()); }

// --- "Play Mode" numbers ---

void TForm1::UpDown1Click(TObject*) { SendLiveParameter(param::CAN, UpDown1->Position() - 1); }

void TForm1::UpDown2Click(TObject*) {
  Label15->SetCaption(NoteName(UpDown2->Position(), 0));
  SendLiveParameter(param::NREF, UpDown2->Position());
}

// --- CV outputs ---

void TForm1::ComboBox5Change(TObject*) { SendSource(ComboBox5, param::CRF0); }
void TForm1::ComboBox6Change(TObject*) { SendSource(ComboBox6, param::CRF0 + 1); }
void TForm1::ComboBox1Change(TObject*) { SendSource(ComboBox1, param::CRF0 + 2); }
void TForm1::ComboBox2Change(TObject*) { SendSource(ComboBox2, param::CRF0 + 3); }

// "Velo" and "PB" make a CV follow velocity or pitch bend instead of its source.
void TForm1::CheckBox10Click(TObject*) {
  ComboBox1->setEnabled(!CheckBox10->Checked());
  SendTQXConfigByte(CheckBox10);
}

void TForm1::CheckBox11Click(TObject*) {
  ComboBox2->setEnabled(!CheckBox11->Checked());
  SendTQXConfigByte(CheckBox11);
}

void TForm1::CheckBox9Click(TObject*) {
  ComboBox6->setEnabled(!CheckBox9->Checked());
  SendTQXConfigByte3(CheckBox9);
}

void TForm1::CheckBox24Click(TObject*) {
  ComboBox1->setEnabled(!CheckBox24->Checked());
  SendTQXConfigByte3(CheckBox24);
}

void TForm1::CheckBox23Click(TObject*) {
  ComboBox2->setEnabled(!CheckBox23->Checked());
  SendTQXConfigByte3(CheckBox23);
}

// --- "Triggers" and "Clock Divider" ---

void TForm1::UpDown4Click(TObject*) { SendLiveParameter(param::TTIME, UpDown4->Position()); }

// Shared by the six presets, each carrying its divider as Tag.
void TForm1::RadioButton96Click(TObject* Sender) {
  StopClockGenerator();
  if (auto* preset = dynamic_cast<TRadioButton*>(Sender)) UpDown8->SetPosition(preset->Tag);
  SendLiveParameter(param::DIV, UpDown8->Position());
}

void TForm1::RadioButton8Click(TObject*) {
  StopClockGenerator();
  SendLiveParameter(param::DIV, UpDown8->Position());
}

// A divider of one's own is "Special"; selecting it runs its handler, which sends
// the divider a second time.
void TForm1::UpDown8Click(TObject*) {
  SendLiveParameter(param::DIV, UpDown8->Position());
  RadioButton8->SetChecked(true);
}

// --- "Send 'Write to Flash'" ---

void TForm1::SpeedAsSysexClick(TObject*) {
  SendLiveParameter(param::COMMAND, param::WRITE_TO_FLASH);
}
