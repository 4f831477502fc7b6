// Which handler each control event runs, as the form binds them.
#include "app/form1.h"

namespace {
template <typename Form>
TNotifyEvent Bind(Form* form, void (Form::*handler)(TObject*)) {
  return [form, handler](TObject* sender) { (form->*handler)(sender); };
}

template <typename Form>
TUDChangingEvent Bind(Form* form, void (Form::*handler)(TObject*, bool&)) {
  return [form, handler](TObject* sender, bool& allow) { (form->*handler)(sender, allow); };
}
}  // namespace

void TForm1::ConnectHandlers() {
  RadioButton4->OnClick = Bind(this, &TForm1::RadioButton4Click);
  RadioButton5->OnClick = Bind(this, &TForm1::RadioButton4Click);

  // Configuration files.
  SpeedButton5->OnClick = Bind(this, &TForm1::SpeedButton5Click);
  SpeedButton6->OnClick = Bind(this, &TForm1::SpeedButton6Click);
  SpeedButton4->OnClick = Bind(this, &TForm1::SpeedButton4Click);

  // Configuration editor.
  SpeedButton8->OnClick = Bind(this, &TForm1::SpeedAsSysexClick);
  SpeedButton7->OnClick = Bind(this, &TForm1::BtnSendConfigClick);
  RadioButton2->OnClick = Bind(this, &TForm1::RadioButton2Click);
  RadioButton1->OnClick = Bind(this, &TForm1::RadioButton1Click);
  RadioButton3->OnClick = Bind(this, &TForm1::RadioButton3Click);
  CheckBox16->OnClick = Bind(this, &TForm1::SendTQXConfigByte);
  CheckBox17->OnClick = Bind(this, &TForm1::RadioButton1Click);
  UpDown1->OnClick = Bind(this, &TForm1::UpDown1Click);
  UpDown2->OnClick = Bind(this, &TForm1::UpDown2Click);

  ComboBox5->OnChange = Bind(this, &TForm1::ComboBox5Change);
  ComboBox6->OnChange = Bind(this, &TForm1::ComboBox6Change);
  ComboBox1->OnChange = Bind(this, &TForm1::ComboBox1Change);
  ComboBox2->OnChange = Bind(this, &TForm1::ComboBox2Change);
  CheckBox9->OnClick = Bind(this, &TForm1::CheckBox9Click);
  CheckBox24->OnClick = Bind(this, &TForm1::CheckBox24Click);
  CheckBox23->OnClick = Bind(this, &TForm1::CheckBox23Click);
  CheckBox10->OnClick = Bind(this, &TForm1::CheckBox10Click);
  CheckBox11->OnClick = Bind(this, &TForm1::CheckBox11Click);
  for (TCheckBox* tab : {CheckBox7, CheckBox8, CheckBox15, CheckBox14})
    tab->OnClick = Bind(this, &TForm1::SendTQXConfigByte2);
  for (TCheckBox* box : {CheckBox6, CheckBox5, CheckBox4, CheckBox13, CheckBox3, CheckBox2,
                         CheckBox1, CheckBox12})
    box->OnClick = Bind(this, &TForm1::SendTQXConfigByte1);

  ComboBox3->OnChange = Bind(this, &TForm1::ComboBox3Change);
  ComboBox4->OnChange = Bind(this, &TForm1::ComboBox4Change);
  ComboBox9->OnChange = Bind(this, &TForm1::ComboBox9Change);
  ComboBox10->OnChange = Bind(this, &TForm1::ComboBox10Change);
  ComboBox7->OnChange = Bind(this, &TForm1::ComboBox7Change);
  ComboBox8->OnChange = Bind(this, &TForm1::ComboBox8Change);
  cmbOutput->OnChange = Bind(this, &TForm1::cmbOutputChange);
  CheckBox28->OnClick = Bind(this, &TForm1::CheckBox28Click);
  CheckBox27->OnClick = Bind(this, &TForm1::CheckBox27Click);
  CheckBox32->OnClick = Bind(this, &TForm1::CheckBox32Click);
  CheckBox31->OnClick = Bind(this, &TForm1::CheckBox31Click);
  UpDown14->OnClick = Bind(this, &TForm1::UpDown14Click);
  UpDown15->OnClick = Bind(this, &TForm1::UpDown15Click);
  UpDown16->OnClick = Bind(this, &TForm1::UpDown16Click);
  UpDown17->OnClick = Bind(this, &TForm1::UpDown17Click);
  UpDown11->OnClick = Bind(this, &TForm1::UpDown11Click);
  UpDown9->OnClick = Bind(this, &TForm1::UpDown9Click);
  UpDown13->OnClick = Bind(this, &TForm1::UpDown13Click);
  UpDown12->OnClick = Bind(this, &TForm1::UpDown12Click);
  for (TCheckBox* trigg : {CheckBox29, CheckBox30, CheckBox33, CheckBox34})
    trigg->OnClick = Bind(this, &TForm1::CheckBox29Click);
  CheckBox22->OnClick = Bind(this, &TForm1::CheckBox22Click);
  CheckBox19->OnClick = Bind(this, &TForm1::CheckBox19Click);
  UpDown5->OnChanging = Bind(this, &TForm1::UpDown5Changing);
  CheckBox20->OnClick = Bind(this, &TForm1::SendTQXConfigByte2);
  midiclockCFG->OnClick = Bind(this, &TForm1::midiclockCFGClick);
  CheckBox18->OnClick = Bind(this, &TForm1::CheckBox18Click);
  UpDown3->OnChanging = Bind(this, &TForm1::UpDown3Changing);
  CheckBox21->OnClick = Bind(this, &TForm1::SendTQXConfigByte2);

  for (TRadioButton* preset :
       {RadioButton96, RadioButton48, RadioButton24, RadioButton12, RadioButton7, RadioButton6})
    preset->OnClick = Bind(this, &TForm1::RadioButton96Click);
  RadioButton8->OnClick = Bind(this, &TForm1::RadioButton8Click);
  UpDown8->OnClick = Bind(this, &TForm1::UpDown8Click);
  UpDown4->OnClick = Bind(this, &TForm1::UpDown4Click);

  // Output test panel.
  TrackBar7->OnChange = Bind(this, &TForm1::TrackBar7Change);
  TrackBar6->OnChange = Bind(this, &TForm1::TrackBar6Change);
  TrackBar2->OnChange = Bind(this, &TForm1::TrackBar2Change);
  TrackBar3->OnChange = Bind(this, &TForm1::TrackBar3Change);
  TrackBar5->OnChange = Bind(this, &TForm1::TrackBar5Change);
  TrackBar8->OnChange = Bind(this, &TForm1::TrackBar8Change);
  TrackBar9->OnChange = Bind(this, &TForm1::TrackBar9Change);
  Button3->OnClick = Bind(this, &TForm1::Button3Click);
  Timer1->OnTimer = Bind(this, &TForm1::Timer1Timer);
  DeviceWatch->OnTimer = Bind(this, &TForm1::DeviceWatchTimer);

  // Note table.
  TrackBar1->OnChange = Bind(this, &TForm1::TrackBarChange);
  Edit3->OnChange = Bind(this, &TForm1::Edit3Change);
  Edit4->OnChange = Bind(this, &TForm1::Edit4Change);
  SpeedButton1->OnClick = Bind(this, &TForm1::SpeedButton1Click);
  SpeedButton2->OnClick = Bind(this, &TForm1::SpeedButton2Click);
  SpeedButton3->OnClick = Bind(this, &TForm1::SpeedButton3Click);
  SpeedButton12->OnClick = Bind(this, &TForm1::SpeedButton12Click);
  SpeedButton10->OnClick = Bind(this, &TForm1::SpeedButton10Click);
  SpeedButton11->OnClick = Bind(this, &TForm1::SpeedButton11Click);
  BtnAutoTune->OnClick = Bind(this, &TForm1::BtnAutoTuneClick);
}
