// "Send Config to MIDI": the whole configuration record, with progress.
#include "app/form1.h"
#include "config/config_record.h"
#include "protocol/parameter_map.h"
#include "table/form2.h"

void TForm1::BtnSendConfigClick(TObject*) {
  Form2->CGauge1->SetProgress(0);
  Form2->Show();
  // The whole record is read before the first message goes out.
  const TConfigRecord record = GetConfigRecord();
  try {
    for (int i = 0; i < param::CONFIG_COUNT; ++i) {
      // The gauge's range is the note table's (0..47): it reads full from i = 12.
      Form2->CGauge1->SetProgress(i * 4);
      SendParameter(ud_DeviceID->Position() - 1, param::CONFIG_FIRST + i, record[i]);
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
