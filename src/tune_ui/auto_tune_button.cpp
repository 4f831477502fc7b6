// "Auto-tune" on the "Table" tab.
#include "app/form1.h"
#include "tune_ui/auto_tune_window.h"

void TForm1::BtnAutoTuneClick(TObject*) {
  tune_ui::AutoTuneWindow window(*this, tune_ui::AutoTuneParts::Current(), this);
  window.exec();
}
