// The configuration file (.TQC): its 32 bytes, the save and open dialogs, the
// extension and backup rules, the file errors, and what a load does to the
// controls and, with real-time sending on, to the wire.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <csignal>
#include <random>
#include <set>

#include "app/form1.h"
#include "support/editor_fixture.h"
#include "support/file_size_limit.h"
#include "support/test_support.h"

namespace {

using Texts = std::vector<std::string>;
using testing_support::Hex;

// The file of a first run, with every control at its form default.
const std::string kFirstRun =
    "00 18 00 FF FF FF FF FF FF 00 00 00 3F 3F 0C 18 "
    "00 00 FF FF FF FF 40 40 40 40 0C 00 00 00 00 00";

std::vector<uint8_t> FromHex(const std::string& hex) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i + 1 < hex.size(); i += 3)
    bytes.push_back(static_cast<uint8_t>(std::stoi(hex.substr(i, 2), nullptr, 16)));
  return bytes;
}

using testing_support::FileSizeLimit;

class ConfigFile : public testing_support::EditorFixture {
 protected:
  void SetUp() override {
    EditorFixture::SetUp();
    ASSERT_TRUE(dir.isValid());
  }

  std::string Path(const std::string& name) const {
    return dir.filePath(QString::fromStdString(name)).toStdString();
  }
  void WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) const {
    QFile file(QString::fromStdString(Path(name)));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
  }
  // The file as hex, or "missing".
  std::string FileHex(const std::string& name) const {
    QFile file(QString::fromStdString(Path(name)));
    if (!file.open(QIODevice::ReadOnly)) return "missing";
    const QByteArray data = file.readAll();
    return Hex(reinterpret_cast<const uint8_t*>(data.constData()), data.size());
  }
  QStringList Files() const { return QDir(dir.path()).entryList(QDir::Files, QDir::Name); }

  void Save(const std::string& name) {
    dialogs->AnswerNextFileDialog(Path(name));
    form->SpeedButton6->click();
  }
  void Load(const std::string& name) {
    dialogs->AnswerNextFileDialog(Path(name));
    form->SpeedButton5->click();
  }
  void LoadBytes(const std::string& hex) {
    WriteFile("in.TQC", FromHex(hex));
    Load("in.TQC");
  }
  std::string SavedHex() {
    Save("out.TQC");
    return FileHex("out.TQC");
  }
  // "title: text" of every message box shown, all checked for the error icon.
  Texts Boxes() const {
    Texts texts;
    for (const auto& box : dialogs->boxes) {
      EXPECT_EQ(box.icon, ui::MsgIcon::Error);
      texts.push_back(box.title + ": " + box.text);
    }
    return texts;
  }

  // A configuration far from the defaults, set as a user would.
  void Customise() {
    form->UpDown1->SetPosition(10);
    form->UpDown2->SetPosition(60);
    form->ud_DeviceID->SetPosition(5);
    form->CheckBox16->SetChecked(true);
    form->RadioButton1->SetChecked(true);
    form->CheckBox17->SetChecked(true);
    for (TCheckBox* box : {form->CheckBox7, form->CheckBox8, form->CheckBox15, form->CheckBox14,
                           form->CheckBox6, form->CheckBox12, form->CheckBox21, form->CheckBox9,
                           form->CheckBox23, form->CheckBox28, form->CheckBox34})
      box->SetChecked(true);
    const int sources[] = {7, 1, 127, 65, 12, 2, 100, 3, 0, 33};
    TComboBox* lists[] = {form->ComboBox5, form->ComboBox6, form->ComboBox1, form->ComboBox2,
                          form->ComboBox7, form->ComboBox8, form->ComboBox3, form->ComboBox4,
                          form->ComboBox9, form->ComboBox10};
    for (int i = 0; i < 10; ++i) lists[i]->SetItemIndex(sources[i]);
    form->UpDown5->SetPosition(0);  // saved as FF
    form->UpDown3->SetPosition(127);
    form->UpDown4->SetPosition(255);
    form->UpDown8->SetPosition(100);
    form->RadioButton8->SetChecked(true);
    form->UpDown11->SetPosition(0);
    form->UpDown12->SetPosition(127);
    form->UpDown14->SetPosition(127);
    form->UpDown17->SetPosition(61);
  }

  QTemporaryDir dir;
};

TEST_F(ConfigFile, DialogsAskForAConfigFileAndCancellingChangesNothing) {
  form->UpDown1->SetPosition(3);
  dialogs->AnswerNextFileDialog(std::nullopt);
  form->SpeedButton6->click();
  dialogs->AnswerNextFileDialog(std::nullopt);
  form->SpeedButton5->click();

  ASSERT_EQ(dialogs->dialogs.size(), 2u);
  const auto& save = dialogs->dialogs[0];
  EXPECT_EQ(save.kind, ui::TFileDialog::Kind::Save);
  EXPECT_EQ(save.title, "Save TQX512 Config File");
  EXPECT_EQ(save.fileName, "");
  EXPECT_EQ(save.filterIndex, 2);
  const auto& open = dialogs->dialogs[1];
  EXPECT_EQ(open.kind, ui::TFileDialog::Kind::Open);
  EXPECT_EQ(open.title, " Open TQX512 Config File");
  EXPECT_EQ(open.fileName, "");
  EXPECT_EQ(open.filterIndex, 2);

  EXPECT_TRUE(Files().isEmpty());
  EXPECT_EQ(Boxes(), Texts{});
  EXPECT_EQ(form->EditMidi->Text(), "3");
}

TEST_F(ConfigFile, FirstRunAndCustomConfigurationsSurviveSaveAndLoad) {
  Save("first");
  EXPECT_EQ(FileHex("first.TQC"), kFirstRun);
  Customise();
  Save("custom.TQC");
  const std::string custom = FileHex("custom.TQC");
  EXPECT_EQ(custom,
            "09 3C 04 06 00 7E 40 0B 01 C4 81 8F FF 7E FF 64 0A 18 63 02 FF 20 00 40 40 7F "
            "7F 00 00 3D 00 00");

  Load("first.TQC");
  EXPECT_EQ(SavedHex(), kFirstRun);
  for (TComboBox* list :
       {form->ComboBox5, form->ComboBox6, form->ComboBox1, form->ComboBox2, form->ComboBox7,
        form->ComboBox8, form->ComboBox3, form->ComboBox4, form->ComboBox9, form->ComboBox10})
    EXPECT_EQ(list->Text(), "----- none-------");
  EXPECT_TRUE(form->RadioButton2->Checked());

  Load("custom.TQC");
  EXPECT_EQ(SavedHex(), custom);
  EXPECT_EQ(form->EditMidi->Text(), "10");
  EXPECT_EQ(form->Edit1->Text(), "0");  // gate 5 level FF comes back as 0
  EXPECT_TRUE(form->RadioButton1->Checked());
  EXPECT_TRUE(form->RadioButton8->Checked());
  EXPECT_EQ(form->Label15->Caption(), "C 3");
  EXPECT_EQ(form->Label3->Caption(), "G 8");
  EXPECT_EQ(Boxes(), Texts{});
}

TEST_F(ConfigFile, SaveAddsTqcOnlyToANameWithoutExtensionAndKeepsTheOldestBackup) {
  Save("live");
  EXPECT_EQ(Files(), QStringList({"live.TQC"}));

  form->UpDown1->SetPosition(2);
  Save("live");  // live.TQC becomes live.BAK
  EXPECT_EQ(Files(), QStringList({"live.BAK", "live.TQC"}));
  EXPECT_EQ(FileHex("live.BAK").substr(0, 2), "00");
  EXPECT_EQ(FileHex("live.TQC").substr(0, 2), "01");

  form->UpDown1->SetPosition(3);
  Save("live.TQC");  // both exist: the older backup stays, no new one
  EXPECT_EQ(FileHex("live.BAK").substr(0, 2), "00");
  EXPECT_EQ(FileHex("live.TQC").substr(0, 2), "02");

  Save("other.txt");
  Save("other.txt");
  EXPECT_EQ(Files(), QStringList({"live.BAK", "live.TQC", "other.BAK", "other.txt"}));
  EXPECT_EQ(FileHex("other.BAK"), FileHex("other.txt"));
  EXPECT_EQ(Boxes(), Texts{});
}

TEST_F(ConfigFile, FailedSaveShowsWriteErrorAndLeavesThePreviousFileInPlace) {
  Save("missing-folder/live");
  EXPECT_EQ(Boxes(), Texts{"File Error: Write File Error - Abort Saving"});

  // A file size limit lets the backup rename through but fails the write.
  WriteFile("live.TQC", {1, 2, 3});
  {
    FileSizeLimit limit(16);
    Save("live.TQC");
  }
  EXPECT_EQ(Boxes().size(), 2u);
  EXPECT_EQ(FileHex("live.TQC"), "01 02 03");
  EXPECT_EQ(Files(), QStringList({"live.TQC"}));
  Save("live.TQC");
  EXPECT_EQ(Files(), QStringList({"live.BAK", "live.TQC"}));
}

TEST_F(ConfigFile, ShortOrMissingFileGivesReadErrorAndChangesNothing) {
  form->CheckBox26->SetChecked(true);
  Customise();
  const std::string before = SavedHex();
  ClearSent();

  std::vector<uint8_t> bytes = FromHex(kFirstRun);
  bytes.pop_back();
  WriteFile("short.TQC", bytes);
  Load("short.TQC");
  Load("nowhere.TQC");

  EXPECT_EQ(Boxes(), Texts(2, "File Error: Read File Error - Abort Loading"));
  EXPECT_EQ(SavedHex(), before);
  EXPECT_EQ(SentHex(), Texts{});
}

TEST_F(ConfigFile, LongerFilesLoadTheirFirst32Bytes) {
  std::vector<uint8_t> bytes = FromHex(kFirstRun);
  bytes[2] = 4;  // device ID 5
  bytes.resize(40, 0x55);
  WriteFile("long.TQC", bytes);
  Load("long.TQC");
  EXPECT_EQ(form->Edit5->Text(), "5");
  EXPECT_EQ(SavedHex().substr(0, 8), "00 18 04");

  // A 48-byte note table opened as a configuration sets the controls from its start.
  std::vector<uint8_t> table(48);
  for (int i = 0; i < 48; ++i) table[i] = static_cast<uint8_t>(i * 5);
  WriteFile("bass.3CV", table);
  Load("bass.3CV");
  EXPECT_EQ(form->EditMidi->Text(), "1");
  EXPECT_EQ(form->EditNREF->Text(), "5");
  EXPECT_EQ(form->Edit5->Text(), "11");
  EXPECT_EQ(form->ComboBox5->ItemIndex(), 16);
  EXPECT_EQ(Boxes(), Texts{});

  // The loaded device ID addresses every later message.
  ClearSent();
  form->SpeedButton7->click();
  EXPECT_EQ(SentHex().at(0).substr(0, 11), "F0 70 7B 0A");
}

TEST_F(ConfigFile, OutOfRangeBytesAreClampedAndUnknownSourcesSelectNothing) {
  std::vector<uint8_t> bytes = FromHex(kFirstRun);
  bytes[0] = 0xFF;   // channel 256
  bytes[1] = 0x80;   // base note 128
  bytes[2] = 0xFF;   // device 256
  bytes[3] = 0x7F;   // entry 128, past the list
  bytes[4] = 0xFE;   // what a list with nothing selected saves
  bytes[12] = 0x90;  // gate 5 level 145
  bytes[15] = 0x00;  // divider 0
  bytes[22] = 0xC8;  // gate 1 level 200
  bytes[29] = 0xFF;  // gate 4 note 255
  WriteFile("odd.TQC", bytes);
  Load("odd.TQC");

  EXPECT_EQ(form->EditMidi->Text(), "16");
  EXPECT_EQ(form->EditNREF->Text(), "127");
  EXPECT_EQ(form->Edit5->Text(), "128");
  EXPECT_EQ(form->ComboBox5->ItemIndex(), -1);
  EXPECT_EQ(form->ComboBox6->ItemIndex(), -1);
  EXPECT_EQ(form->Edit1->Text(), "127");
  EXPECT_EQ(form->Edit7->Text(), "1");
  EXPECT_TRUE(form->RadioButton8->Checked());  // a divider of 1 has no preset
  EXPECT_EQ(form->Edit8->Text(), "127");
  EXPECT_EQ(form->Label19->Caption(), "G 8");
  EXPECT_EQ(SavedHex(),
            "0F 7F 7F FE FE FF FF FF FF 00 00 00 7E 3F 0C 01 00 00 FF FF FF FF 7F 40 40 40 "
            "0C 00 00 7F 00 00");
}

TEST_F(ConfigFile, LiveLoadSendsExactlyTheParametersOfTheHandlersThatRun) {
  std::vector<uint8_t> bytes = FromHex(kFirstRun);
  bytes[7] = 0x06;   // gate 5 source, set before its level
  bytes[12] = 0x1F;  // gate 5 level: its changing handler sends the old level - 1
  bytes[13] = 0x1F;  // gate 6 level: source none, nothing sent
  bytes[15] = 48;    // divider preset "2 bpm"
  bytes[16] = 0x02;  // CV 2 PB
  bytes[11] = 0x40;  // gate 5 Trigg
  bytes[10] = 0x01;  // CV 1 +5V
  bytes[9] = 0x84;   // Polyphonic, Retrigg
  bytes[17] = 0x01;  // gate 1 Trigg
  bytes[22] = 0x10;  // gate 1 level: no handler
  bytes[26] = 60;    // gate 1 note: no handler
  WriteFile("live.TQC", bytes);

  form->CheckBox26->SetChecked(true);
  ClearSent();
  Load("live.TQC");
  EXPECT_EQ(SentHex(), (Texts{
                           "F0 70 7B 00 2C 0F 03 F7",  // THR1, 64 - 1
                           "F0 70 7B 00 30 02 00 F7",  // CFG3
                           "F0 70 7B 00 2B 00 04 F7",  // CFG2
                           "F0 70 7B 00 2A 01 00 F7",  // CFG1
                           "F0 70 7B 00 29 04 00 F7",  // CFG0 after Retrigg
                           "F0 70 7B 00 29 04 08 F7",  // CFG0 after Polyphonic
                           "F0 70 7B 00 2F 00 03 F7",  // DIV by the "2 bpm" button
                           "F0 70 7B 00 29 04 08 F7",  // CFG0 by the MIDI Clock handler
                           "F0 70 7B 00 31 01 00 F7",  // CFG4
                       }));
  EXPECT_EQ(form->Label3->Caption(), "C 3");

  form->CheckBox26->SetChecked(false);
  ClearSent();
  LoadBytes(kFirstRun);
  EXPECT_EQ(SentHex(), Texts{});
  EXPECT_TRUE(form->RadioButton2->Checked());
}

TEST_F(ConfigFile, RandomFilesLoadIntoValidControlsAndSendWellFormedMessages) {
  const uint8_t edges[] = {0x00, 0x01, 0x7E, 0x7F, 0x80, 0xFE, 0xFF};
  std::mt19937 random(20240607);
  std::uniform_int_distribution<int> byte(0, 255);
  form->hide();  // no repaints: thousands of loads stay fast
  ClearSent();
  // The control classes have no meta-object of their own: sort them out by type.
  std::vector<TUpDown*> upDowns;
  std::vector<TComboBox*> lists;
  for (QWidget* w : form->findChildren<QWidget*>()) {
    if (auto* u = dynamic_cast<TUpDown*>(w)) upDowns.push_back(u);
    if (auto* c = dynamic_cast<TComboBox*>(w)) lists.push_back(c);
  }
  ASSERT_EQ(upDowns.size(), 18u);
  ASSERT_EQ(lists.size(), 12u);

  // Rewritten in place: truncating a file each round costs more than the load.
  QFile fuzz(QString::fromStdString(Path("fuzz.TQC")));
  ASSERT_TRUE(fuzz.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
  for (int round = 0; round < 2000; ++round) {
    std::vector<uint8_t> bytes(32);
    for (uint8_t& b : bytes)
      b = static_cast<uint8_t>(byte(random) < 64 ? edges[byte(random) % 7] : byte(random));
    fuzz.seek(0);
    fuzz.write(reinterpret_cast<const char*>(bytes.data()), 32);
    fuzz.flush();
    form->CheckBox26->SetChecked(round % 4 == 0);  // sending is the slow part under ASan
    Load("fuzz.TQC");
    // Lets the port release its sent headers now and then.
    if (round % 100 == 0) QCoreApplication::processEvents();

    for (TUpDown* u : upDowns) {
      ASSERT_GE(u->Position(), u->Min());
      ASSERT_LE(u->Position(), u->Max());
      ASSERT_EQ(u->Associate()->Text(), QString::number(u->Position()));
    }
    for (TComboBox* list : lists) ASSERT_LT(list->ItemIndex(), list->count());
    ASSERT_EQ(form->RadioButton1->Checked() + form->RadioButton2->Checked() +
                  form->RadioButton3->Checked(),
              1);
    int dividers = 0;
    for (TRadioButton* b :
         {form->RadioButton96, form->RadioButton48, form->RadioButton24, form->RadioButton12,
          form->RadioButton7, form->RadioButton6, form->RadioButton8})
      dividers += b->Checked();
    ASSERT_EQ(dividers, 1);
  }
  EXPECT_EQ(Boxes(), Texts{});

  const std::set<int> sentByHandlers = {41, 42, 43, 44, 45, 47, 48, 49};
  const Texts sent = SentHex();
  EXPECT_GT(sent.size(), 500u);
  for (const std::string& m : sent) {
    ASSERT_EQ(m.size(), 23u) << m;
    ASSERT_EQ(m.substr(0, 10), "F0 70 7B 0") << m;
    ASSERT_TRUE(sentByHandlers.count(std::stoi(m.substr(12, 2), nullptr, 16))) << m;
    ASSERT_EQ(m[15], '0') << m;
    ASSERT_EQ(m[18], '0') << m;
    ASSERT_EQ(m.substr(21), "F7") << m;
  }
}

TEST_F(ConfigFile, SaveOntoAFolderOfThatNameFailsAndMovesNothing) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("live.TQC"));
  WriteFile("live.TQC/inside", {1, 2});
  Save("live.TQC");
  EXPECT_EQ(Boxes(), Texts{"File Error: Write File Error - Abort Saving"});
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList{"live.TQC"});
  EXPECT_EQ(FileHex("live.TQC/inside"), "01 02");
}

}  // namespace
