#include "app/form1.h"

// The 3-voice hardware has no fourth CV output: its row and test slider are hidden,
// but keep their values, which still travel in every record, file and save.
void TForm1::RadioButton4Click(TObject*) {
  const bool fourVoices = !RadioButton4->Checked();
  for (QWidget* control : std::initializer_list<QWidget*>{
           Label14, TrackBar3, ComboBox2, CheckBox11, CheckBox12, CheckBox13, CheckBox14})
    control->setVisible(fourVoices);
  CheckBox17->setText(fourVoices ? "4 Voices" : "3 Voices");
  // Checking "4 voices" runs this handler once more; that nested run changes nothing.
  RadioButton5->SetChecked(fourVoices);
  CheckBox23->setVisible(fourVoices);
}
