// The note table to the interface: all 48 entries with progress, or the edited
// entry alone while real-time sending is on.
#include "app/form1.h"
#include "protocol/parameter_map.h"

void TForm1::SpeedButton12Click(TObject*) {
  SendWithProgress(param::TABLE_FIRST, FNoteTable.data(), param::TABLE_COUNT, 1);
}

void TForm1::SendOneNoteTableSysex() {
  if (!CheckBox26->Checked()) return;
  SendParameter(ud_DeviceID->Position() - 1, param::TABLE_FIRST + FTableNote,
                FNoteTable[FTableNote]);
}
