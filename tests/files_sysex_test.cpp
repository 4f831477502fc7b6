// The SysEx dump file (.SYX): the messages of a full transfer, back to back.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include "app/form1.h"
#include "midi/midi_output.h"
#include "support/editor_fixture.h"
#include "support/test_support.h"

namespace {

using Texts = std::vector<std::string>;

class SysexFile : public testing_support::EditorFixture {
 protected:
  void SetUp() override {
    EditorFixture::SetUp();
    ASSERT_TRUE(dir.isValid());
  }

  std::string Path(const std::string& name) const {
    return dir.filePath(QString::fromStdString(name)).toStdString();
  }
  // The file cut into its 8-byte messages, as hex.
  Texts Messages(const std::string& name) const {
    QFile file(QString::fromStdString(Path(name)));
    if (!file.open(QIODevice::ReadOnly)) return {"missing"};
    const QByteArray data = file.readAll();
    Texts messages;
    for (qsizetype i = 0; i < data.size(); i += 8)
      messages.push_back(
          testing_support::Hex(reinterpret_cast<const uint8_t*>(data.constData()) + i,
                               static_cast<size_t>(std::min<qsizetype>(8, data.size() - i))));
    return messages;
  }
  void Save(const std::string& name) {
    dialogs->AnswerNextFileDialog(Path(name));
    form->SpeedButton4->click();
  }
  Texts Dump() {
    Save("dump.SYX");
    return Messages("dump.SYX");
  }

  QTemporaryDir dir;
};

TEST_F(SysexFile, FirstRunDumpIs32MessagesAndWriteToFlashAddsAThirtyThird) {
  Save("live");
  ASSERT_EQ(dialogs->dialogs.size(), 1u);
  EXPECT_EQ(dialogs->dialogs[0].title, "Save TQX512 Config File as Sysex");
  EXPECT_EQ(dialogs->dialogs[0].fileName, "");
  EXPECT_EQ(dialogs->dialogs[0].filterIndex, 3);

  const Texts dump = Messages("live.SYX");
  ASSERT_EQ(dump.size(), 32u);  // 256 bytes
  EXPECT_EQ(Texts(dump.begin(), dump.begin() + 4),
            (Texts{"F0 70 7B 00 20 00 00 F7", "F0 70 7B 00 21 08 01 F7", "F0 70 7B 00 22 00 00 F7",
                   "F0 70 7B 00 23 0F 0F F7"}));
  EXPECT_EQ(dump.back(), "F0 70 7B 00 3F 00 00 F7");

  form->CheckBox25->SetChecked(true);
  const Texts flash = Dump();
  ASSERT_EQ(flash.size(), 33u);  // 264 bytes
  EXPECT_EQ(Texts(flash.begin(), flash.end() - 1), dump);
  EXPECT_EQ(flash.back(), "F0 70 7B 00 7F 04 03 F7");
}

TEST_F(SysexFile, DeviceIdsWrapAtSixteenAndExtremeValuesSplitIntoNibbles) {
  form->ud_DeviceID->SetPosition(16);
  form->UpDown8->SetPosition(128);
  form->UpDown4->SetPosition(255);
  Texts dump = Dump();
  EXPECT_EQ(dump.at(0), "F0 70 7B 0F 20 00 00 F7");
  EXPECT_EQ(dump.at(2), "F0 70 7B 0F 22 0F 00 F7");
  EXPECT_EQ(dump.at(14), "F0 70 7B 0F 2E 0F 0F F7");  // time 255
  EXPECT_EQ(dump.at(15), "F0 70 7B 0F 2F 00 08 F7");  // divider 128

  form->ud_DeviceID->SetPosition(17);
  dump = Dump();
  EXPECT_EQ(dump.at(0), "F0 70 7B 00 20 00 00 F7");
  EXPECT_EQ(dump.at(2), "F0 70 7B 00 22 00 01 F7");  // the device's own number is not masked
}

TEST_F(SysexFile, DumpIsByteForByteWhatTheFullTransferSends) {
  form->ud_DeviceID->SetPosition(19);
  form->UpDown1->SetPosition(7);
  form->RadioButton1->SetChecked(true);
  form->CheckBox17->SetChecked(true);
  for (TCheckBox* box : {form->CheckBox8, form->CheckBox12, form->CheckBox20, form->CheckBox24,
                         form->CheckBox31, form->CheckBox30, form->CheckBox25})
    box->SetChecked(true);
  form->ComboBox7->SetItemIndex(74);
  form->ComboBox10->SetItemIndex(127);
  form->ComboBox3->SetItemIndex(-1);  // nothing selected
  form->UpDown5->SetPosition(0);
  form->UpDown8->SetPosition(7);
  form->UpDown16->SetPosition(99);

  ClearSent();
  form->SpeedButton7->click();
  const Texts transfer = SentHex();
  ASSERT_EQ(transfer.size(), 33u);
  EXPECT_EQ(Dump(), transfer);
}

TEST_F(SysexFile, DumpSendsNothingNeedsNoPortAndBacksUpLikeAConfigFile) {
  form->CheckBox26->SetChecked(true);
  form->UpDown1->SetPosition(2);
  ClearSent();
  Save("live");
  form->CloseMidiPorts();
  ASSERT_NE(form->MidiOutput1->State(), mosOpen);
  form->UpDown1->SetPosition(3);
  Save("live");

  EXPECT_EQ(SentHex(), Texts{});
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files, QDir::Name),
            QStringList({"live.BAK", "live.SYX"}));
  EXPECT_EQ(Messages("live.BAK").at(0), "F0 70 7B 00 20 01 00 F7");
  EXPECT_EQ(Messages("live.SYX").at(0), "F0 70 7B 00 20 02 00 F7");
  EXPECT_TRUE(dialogs->boxes.empty());
}

TEST_F(SysexFile, CancelWritesNothingAndAFailedWriteIsReported) {
  dialogs->AnswerNextFileDialog(std::nullopt);
  form->SpeedButton4->click();
  EXPECT_TRUE(QDir(dir.path()).isEmpty());
  EXPECT_TRUE(dialogs->boxes.empty());

  Save("missing-folder/live");
  ASSERT_EQ(dialogs->boxes.size(), 1u);
  EXPECT_EQ(dialogs->boxes[0].title, "File Error");
  EXPECT_EQ(dialogs->boxes[0].text, "Write File Error - Abort Saving");
  EXPECT_EQ(dialogs->boxes[0].icon, ui::MsgIcon::Error);
}

TEST_F(SysexFile, SaveOntoAFolderOfThatNameFailsAndMovesNothing) {
  ASSERT_TRUE(QDir(dir.path()).mkpath("live.SYX/inside"));
  Save("live.SYX");
  ASSERT_EQ(dialogs->boxes.size(), 1u);
  EXPECT_EQ(dialogs->boxes[0].title + ": " + dialogs->boxes[0].text,
            "File Error: Write File Error - Abort Saving");
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot),
            QStringList{"live.SYX"});
  EXPECT_TRUE(QDir(QString::fromStdString(Path("live.SYX/inside"))).exists());
}

}  // namespace
