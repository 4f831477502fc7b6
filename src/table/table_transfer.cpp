// The note table to the interface: all 48 entries with progress, or, while
// real-time sending is on, the edited entry alone or a whole table taken in.
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

void TForm1::TakeNoteTable(const TNoteTable& table) {
  FNoteTable = table;
  RefreshTableChart();
  if (!CheckBox26->Checked()) return;
  for (int i = 0; i < kTableSize; ++i)
    SendParameter(ud_DeviceID->Position() - 1, param::TABLE_FIRST + i, FNoteTable[i]);
}
