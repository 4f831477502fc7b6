// The configuration record and the five packed flag bytes.
#include "config/config_record.h"

#include "app/form1.h"

namespace {

template <typename Box>
int Bit(const Box* box, int mask) {
  return box->Checked() ? mask : 0;
}

}  // namespace

TConfigRecord TForm1::GetConfigRecord() {
  return {
      UpDown1->Position() - 1,
      UpDown2->Position(),
      ud_DeviceID->Position() - 1,
      SourceValue(ComboBox5->ItemIndex()),
      SourceValue(ComboBox6->ItemIndex()),
      SourceValue(ComboBox1->ItemIndex()),
      SourceValue(ComboBox2->ItemIndex()),
      SourceValue(ComboBox7->ItemIndex()),
      SourceValue(ComboBox8->ItemIndex()),
      GetConfigByte0(),
      GetConfigByte1(),
      GetConfigByte2(),
      // Gates 5 and 6 travel as level - 1, unlike gates 1..4.
      UpDown5->Position() - 1,
      UpDown3->Position() - 1,
      UpDown4->Position(),
      UpDown8->Position(),
      GetConfigByte3(),
      GetConfigByte4(),
      SourceValue(ComboBox3->ItemIndex()),
      SourceValue(ComboBox4->ItemIndex()),
      SourceValue(ComboBox9->ItemIndex()),
      SourceValue(ComboBox10->ItemIndex()),
      UpDown11->Position(),
      UpDown9->Position(),
      UpDown13->Position(),
      UpDown12->Position(),
      UpDown14->Position(),
      UpDown15->Position(),
      UpDown16->Position(),
      UpDown17->Position(),
      0,
      0,
  };
}

int TForm1::GetConfigByte0() {
  // Monophonic has no bit: it is the mode when Polyphonic and Controlers are clear.
  return Bit(midiclockCFG, 0x01) | Bit(RadioButton3, 0x02) | Bit(CheckBox16, 0x04) |
         Bit(CheckBox22, 0x08) | Bit(CheckBox10, 0x10) | Bit(CheckBox11, 0x20) |
         Bit(CheckBox17, 0x40) | Bit(RadioButton1, 0x80);
}

int TForm1::GetConfigByte1() {
  return Bit(CheckBox6, 0x01) | Bit(CheckBox5, 0x02) | Bit(CheckBox4, 0x04) |
         Bit(CheckBox13, 0x08) | Bit(CheckBox3, 0x10) | Bit(CheckBox2, 0x20) |
         Bit(CheckBox1, 0x40) | Bit(CheckBox12, 0x80);
}

int TForm1::GetConfigByte2() {
  return Bit(CheckBox7, 0x01) | Bit(CheckBox8, 0x02) | Bit(CheckBox15, 0x04) |
         Bit(CheckBox14, 0x08) | Bit(CheckBox19, 0x10) | Bit(CheckBox18, 0x20) |
         Bit(CheckBox20, 0x40) | Bit(CheckBox21, 0x80);
}

int TForm1::GetConfigByte3() {
  return Bit(CheckBox9, 0x02) | Bit(CheckBox24, 0x04) | Bit(CheckBox23, 0x08);
}

int TForm1::GetConfigByte4() {
  return Bit(CheckBox29, 0x01) | Bit(CheckBox30, 0x02) | Bit(CheckBox33, 0x04) |
         Bit(CheckBox34, 0x08) | Bit(CheckBox28, 0x10) | Bit(CheckBox27, 0x20) |
         Bit(CheckBox32, 0x40) | Bit(CheckBox31, 0x80);
}

// The setters change boxes and buttons as a click would, so their handlers bring
// the dependent controls into step (and send, with real-time sending on). The
// order of the steps decides the outcome: the mode buttons come last.
void TForm1::SetConfigByte0(int b) {
  CheckBox11->SetChecked(b & 0x20);
  ComboBox2->setEnabled(!(b & 0x20));
  CheckBox10->SetChecked(b & 0x10);
  ComboBox1->setEnabled(!(b & 0x10));
  CheckBox22->SetChecked(b & 0x08);
  ComboBox7->setEnabled(!(b & 0x08));
  CheckBox19->setEnabled(!(b & 0x08));
  CheckBox16->SetChecked(b & 0x04);
  midiclockCFG->SetChecked(b & 0x01);
  CheckBox17->SetChecked(b & 0x40);
  if (b & 0x80) {
    RadioButton1->SetChecked(true);
    RadioButton2->SetChecked(false);
  } else {
    RadioButton1->SetChecked(false);
    RadioButton2->SetChecked(true);
  }
  RadioButton3->SetChecked(b & 0x02);

  CheckDividerButton();
  midiclockCFGClick(midiclockCFG);
}

void TForm1::CheckDividerButton() {
  switch (UpDown8->Position()) {
    case 3: RadioButton6->SetChecked(true); break;
    case 6: RadioButton7->SetChecked(true); break;
    case 12: RadioButton12->SetChecked(true); break;
    case 24: RadioButton24->SetChecked(true); break;
    case 48: RadioButton48->SetChecked(true); break;
    case 96: RadioButton96->SetChecked(true); break;
    default: RadioButton8->SetChecked(true); break;
  }
}

void TForm1::SetConfigByte1(int b) {
  CheckBox12->SetChecked(b & 0x80);
  CheckBox1->SetChecked(b & 0x40);
  CheckBox2->SetChecked(b & 0x20);
  CheckBox3->SetChecked(b & 0x10);
  CheckBox13->SetChecked(b & 0x08);
  CheckBox4->SetChecked(b & 0x04);
  CheckBox5->SetChecked(b & 0x02);
  CheckBox6->SetChecked(b & 0x01);
}

void TForm1::SetConfigByte2(int b) {
  CheckBox21->SetChecked(b & 0x80);
  CheckBox20->SetChecked(b & 0x40);
  CheckBox18->SetChecked(b & 0x20);
  CheckBox19->SetChecked(b & 0x10);
  CheckBox14->SetChecked(b & 0x08);
  CheckBox15->SetChecked(b & 0x04);
  CheckBox8->SetChecked(b & 0x02);
  CheckBox7->SetChecked(b & 0x01);
  CheckBox18->SetChecked(b & 0x20);
  ComboBox8->setEnabled(!(b & 0x20));
  CheckBox19->SetChecked(b & 0x10);
  ComboBox7->setEnabled(!(b & 0x10));
}

// Bit 0 has no box: pitch bend exists on CV 2..4 only.
void TForm1::SetConfigByte3(int b) {
  CheckBox23->SetChecked(b & 0x08);
  CheckBox24->SetChecked(b & 0x04);
  CheckBox9->SetChecked(b & 0x02);
}

void TForm1::SetConfigByte4(int b) {
  CheckBox31->SetChecked(b & 0x80);
  CheckBox32->SetChecked(b & 0x40);
  CheckBox27->SetChecked(b & 0x20);
  CheckBox28->SetChecked(b & 0x10);
  CheckBox34->SetChecked(b & 0x08);
  CheckBox33->SetChecked(b & 0x04);
  CheckBox30->SetChecked(b & 0x02);
  CheckBox29->SetChecked(b & 0x01);
}
