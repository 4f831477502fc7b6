// "Open Table" and "Save Table": the note table as a 48-byte file.
#include "app/form1.h"
#include "files/file_io.h"

namespace {

void ShowFileError(const std::string& text) {
  ui::Dialogs::Current().MessageBox(text, "File Error", ui::MsgIcon::Error);
}

}  // namespace

void TForm1::SpeedButton2Click(TObject*) {
  LoadTableFile();
  RefreshTableChart();
}

void TForm1::SpeedButton3Click(TObject*) { SaveTableFile(); }

void TForm1::LoadTableFile() {
  OpenDialog1.Title = " Open TQX512's 48 Notes Table File";
  OpenDialog1.FilterIndex = 1;
  if (!OpenDialog1.Execute()) return;
  std::vector<uint8_t> image;
  if (!files::ReadFileBytes(OpenDialog1.FileName, kTableSize, image)) {
    ShowFileError("Read File Error - Abort Loading");
    return;
  }
  FNoteTable = TableFromFileImage(image);
}

void TForm1::SaveTableFile() {
  SaveDialog1.Title = "Save TQX512's 48 Notes Table File";
  SaveDialog1.FilterIndex = 1;
  SaveDialog1.FileName = "TQXTable";
  if (!SaveDialog1.Execute()) return;
  const std::string target = files::SaveTarget(SaveDialog1.FileName, ".3CV");
  if (!files::SaveWithBackup(target, TableFileImage(FNoteTable)))
    ShowFileError("Write File Error - Abort Saving");
}
