// "Open Config", "Save Config" and the SysEx dump: the configuration record kept
// in files (.TQC: the 32 record bytes; .SYX: the messages of a full transfer).
#include <algorithm>
#include <string>
#include <vector>

#include "app/form1.h"
#include "config/gate_outputs.h"
#include "files/config_images.h"
#include "files/file_io.h"
#include "ui/dialogs.h"

namespace {

void ShowFileError(const char* text) {
  ui::Dialogs::Current().MessageBox(text, "File Error", ui::MsgIcon::Error);
}

void ShowWriteError() { ShowFileError("Write File Error - Abort Saving"); }

// A field stored as a value minus one comes back as the byte plus one, modulo 256:
// FF gives back entry 0 ("none") of a list and position 0 of a gate 5/6 level.
int PlusOne(uint8_t byte) { return (byte + 1) % 256; }

// Out-of-range positions are clamped by the up-downs; a list index beyond the
// list leaves nothing selected.
void ApplyConfigFile(TForm1& f, const TConfigFileImage& b) {
  f.UpDown1->SetPosition(b[0] + 1);
  f.UpDown2->SetPosition(b[1]);
  f.ud_DeviceID->SetPosition(b[2] + 1);

  f.ComboBox5->SetItemIndex(PlusOne(b[3]));
  f.ComboBox6->SetItemIndex(PlusOne(b[4]));
  f.ComboBox1->SetItemIndex(PlusOne(b[5]));
  f.ComboBox2->SetItemIndex(PlusOne(b[6]));
  f.ComboBox7->SetItemIndex(PlusOne(b[7]));
  f.ComboBox8->SetItemIndex(PlusOne(b[8]));

  // The divider goes in before SetConfigByte0, which selects its button from it;
  // the gate 5/6 sources before their levels, whose handlers look at them.
  f.UpDown5->SetPosition(PlusOne(b[12]));
  f.UpDown3->SetPosition(PlusOne(b[13]));
  f.UpDown4->SetPosition(b[14]);
  f.UpDown8->SetPosition(b[15]);

  f.SetConfigByte3(b[16]);
  f.SetConfigByte2(b[11]);
  f.SetConfigByte1(b[10]);
  f.SetConfigByte0(b[9]);
  f.SetConfigByte4(b[17]);

  f.ComboBox3->SetItemIndex(PlusOne(b[18]));
  f.ComboBox4->SetItemIndex(PlusOne(b[19]));
  f.ComboBox9->SetItemIndex(PlusOne(b[20]));
  f.ComboBox10->SetItemIndex(PlusOne(b[21]));

  f.UpDown11->SetPosition(b[22]);
  f.UpDown9->SetPosition(b[23]);
  f.UpDown13->SetPosition(b[24]);
  f.UpDown12->SetPosition(b[25]);

  f.UpDown14->SetPosition(b[26]);
  f.UpDown15->SetPosition(b[27]);
  f.UpDown16->SetPosition(b[28]);
  f.UpDown17->SetPosition(b[29]);
  // Offsets 30 and 31 are reserved.

  f.Label15->SetCaption(NoteName(f.UpDown2->Position(), 0));
  f.UpdateGateControls();
}

}  // namespace

void TForm1::SpeedButton5Click(TObject*) { LoadConfigFile(); }
void TForm1::SpeedButton6Click(TObject*) { SaveConfigFile(); }
void TForm1::SpeedButton4Click(TObject*) { SaveSysexFile(); }

void TForm1::SaveConfigFile() {
  // The record as it stands when the user asks, before the dialog.
  const TConfigFileImage image = ConfigFileImage(GetConfigRecord());
  SaveDialog1.Title = "Save TQX512 Config File";
  SaveDialog1.FileName.clear();
  SaveDialog1.FilterIndex = 2;  // "TQX Config file"
  if (!SaveDialog1.Execute()) return;
  const std::string target = files::SaveTarget(SaveDialog1.FileName, ".TQC");
  if (!files::SaveWithBackup(target, std::vector<uint8_t>(image.begin(), image.end())))
    ShowWriteError();
}

void TForm1::LoadConfigFile() {
  OpenDialog1.Title = " Open TQX512 Config File";
  OpenDialog1.FileName.clear();
  OpenDialog1.FilterIndex = 2;  // "TQX Config File"
  if (!OpenDialog1.Execute()) return;
  std::vector<uint8_t> bytes;
  if (!files::ReadFileBytes(OpenDialog1.FileName, CONFIG_FILE_SIZE, bytes)) {
    ShowFileError("Read File Error - Abort Loading");
    return;
  }
  TConfigFileImage image{};
  std::copy_n(bytes.begin(), image.size(), image.begin());
  ApplyConfigFile(*this, image);
}

void TForm1::SaveSysexFile() {
  const std::vector<uint8_t> image =
      SysexDumpImage(GetConfigRecord(), ud_DeviceID->Position() - 1, CheckBox25->Checked());
  SaveDialog1.Title = "Save TQX512 Config File as Sysex";
  SaveDialog1.FileName.clear();
  SaveDialog1.FilterIndex = 3;  // "Sysex Binary files"
  if (!SaveDialog1.Execute()) return;
  if (!files::SaveWithBackup(files::SaveTarget(SaveDialog1.FileName, ".SYX"), image))
    ShowWriteError();
}
