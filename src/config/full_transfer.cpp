// "Send Config to MIDI": the whole configuration record, with progress.
#include "app/form1.h"
#include "config/config_record.h"
#include "protocol/parameter_map.h"

void TForm1::BtnSendConfigClick(TObject*) {
  // The whole record is read before the first message goes out. The gauge's
  // range is the note table's (0..47), so at 4 per message it reads full from
  // the 13th.
  const TConfigRecord record = GetConfigRecord();
  SendWithProgress(param::CONFIG_FIRST, record.data(), param::CONFIG_COUNT, 4);
}
