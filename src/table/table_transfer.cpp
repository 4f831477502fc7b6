// The note table to the interface: all 48 entries with progress, or the edited
// entry alone while real-time sending is on.
#include "app/form1.h"
#include "protocol/parameter_map.h"
#include "table/form2.h"

void TForm1::SpeedButton12Click(TObject*) {
  Form2->CGauge1->SetProgress(0);
  Form2->Show();
  try {
    for (int i = 0; i < param::TABLE_COUNT; ++i) {
      Form2->CGauge1->SetProgress(i);
      SendParameter(ud_DeviceID->Position() - 1, param::TABLE_FIRST + i, FNoteTable[i]);
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

void TForm1::SendOneNoteTableSysex() {
  if (!CheckBox26->Checked()) return;
  SendParameter(ud_DeviceID->Position() - 1, param::TABLE_FIRST + FTableNote,
                FNoteTable[FTableNote]);
}
