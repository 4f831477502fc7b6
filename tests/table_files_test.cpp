// Note table files: "Open Table", "Save Table" with the backup rule, and the
// "File Error" boxes.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QTest>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sys/resource.h>
#include <unistd.h>

#include "app/form1.h"
#include "support/editor_fixture.h"
#include "support/file_size_limit.h"
#include "table/form3.h"
#include "table/table_chart.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;
using Names = std::set<std::string>;

void WriteBytes(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}
void WriteBytes(const fs::path& path, const Bytes& bytes) {
  WriteBytes(path, std::string(bytes.begin(), bytes.end()));
}
Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}
Bytes B(const std::string& text) { return Bytes(text.begin(), text.end()); }

Names FilesIn(const fs::path& dir, const std::string& prefix = "") {
  Names names;
  for (const auto& entry : fs::directory_iterator(dir)) {
    if (entry.is_directory())
      names.merge(FilesIn(entry.path(), prefix + entry.path().filename().string() + "/"));
    else
      names.insert(prefix + entry.path().filename().string());
  }
  return names;
}

class TableFiles : public testing_support::EditorFixture {
 protected:
  void SetUp() override {
    EditorFixture::SetUp();
    ASSERT_TRUE(temp_.isValid());
    dir = temp_.path().toStdString();
    Form3->GenerateTable(0, 255, 47, 0);
  }
  // The default generator line 0, 5, 10, 16 ... 249, 255.
  static Bytes Rising() {
    Bytes bytes(48);
    for (int i = 0; i < 48; ++i) bytes[i] = static_cast<uint8_t>(i * 255 / 47);
    return bytes;
  }
  Bytes Chart() const {
    Bytes values;
    for (double value : form->Series2->values()) values.push_back(static_cast<uint8_t>(value));
    return values;
  }
  std::vector<int> Table() const { return {form->NoteTable().begin(), form->NoteTable().end()}; }

  void Open(std::optional<fs::path> path) {
    dialogs->AnswerNextFileDialog(path ? std::optional(path->string()) : std::nullopt);
    QTest::mouseClick(form->SpeedButton2, Qt::LeftButton);
  }
  void Save(const fs::path& path) {
    dialogs->AnswerNextFileDialog(path.string());
    QTest::mouseClick(form->SpeedButton3, Qt::LeftButton);
  }
  // The "File Error" boxes shown since the last call.
  Texts FileErrors() {
    Texts texts;
    for (const auto& box : dialogs->boxes) {
      EXPECT_EQ(box.title, "File Error");
      EXPECT_EQ(box.icon, ui::MsgIcon::Error);
      texts.push_back(box.text);
    }
    dialogs->boxes.clear();
    return texts;
  }

  fs::path dir;

 private:
  QTemporaryDir temp_;
};

TEST_F(TableFiles, SavedTableLoadsBackWithTheSameValues) {
  form->PageControl1->setCurrentWidget(form->TabTable);
  Save(dir / "bass");
  EXPECT_EQ(ReadBytes(dir / "bass.3CV"), Rising());  // 255 written as FF
  QTest::mouseClick(form->SpeedButton1, Qt::LeftButton);  // New Table
  form->OpenDialog1.FilterIndex = 2;
  Open(dir / "bass.3CV");
  EXPECT_EQ(Chart(), Rising());
  EXPECT_EQ(FileErrors(), Texts{});
  EXPECT_TRUE(SentHex().empty());

  ASSERT_EQ(dialogs->dialogs.size(), 2u);
  const auto& save = dialogs->dialogs[0];
  EXPECT_EQ(save.title, "Save TQX512's 48 Notes Table File");
  EXPECT_EQ(save.fileName, "TQXTable");
  EXPECT_EQ(save.filterIndex, 1);
  const auto& open = dialogs->dialogs[1];
  EXPECT_EQ(open.title, " Open TQX512's 48 Notes Table File");
  EXPECT_EQ(open.fileName, "Table");  // as the dialog last had it
  EXPECT_EQ(open.filterIndex, 1);
}

TEST_F(TableFiles, LoadTakesTheFirst48BytesOfALongerFile) {
  Bytes bytes(100);
  for (int i = 0; i < 100; ++i) bytes[i] = static_cast<uint8_t>(255 - i);
  WriteBytes(dir / "long.bin", bytes);
  Open(dir / "long.bin");
  EXPECT_EQ(Table(), std::vector<int>(bytes.begin(), bytes.begin() + 48));
}

TEST_F(TableFiles, ShortMissingOrCancelledLoadChangesNothingButRedraws) {
  WriteBytes(dir / "short.3CV", Bytes(47, 7));
  Open(dir / "short.3CV");
  EXPECT_EQ(FileErrors(), Texts{"Read File Error - Abort Loading"});
  EXPECT_EQ(Chart(), Rising());
  Open(dir / "missing.3CV");
  EXPECT_EQ(FileErrors(), Texts{"Read File Error - Abort Loading"});
  Open(std::nullopt);
  EXPECT_EQ(FileErrors(), Texts{});
  EXPECT_EQ(Chart(), Rising());
}

struct BackupCase {
  const char* name;
  const char* chosen;
  Names before;  // each holding its own name as bytes
  const char* written;
  std::map<std::string, std::string> after;  // file -> the old file whose bytes it holds
};
void PrintTo(const BackupCase& c, std::ostream* os) { *os << c.name; }

class BackupRule : public TableFiles, public ::testing::WithParamInterface<BackupCase> {};

TEST_P(BackupRule, WritesTheTargetAndBacksUpTheFileItReplaces) {
  const BackupCase& c = GetParam();
  fs::create_directories(dir / "v1.2");
  for (const std::string& name : c.before) WriteBytes(dir / name, name);
  Save(dir / c.chosen);
  EXPECT_EQ(FileErrors(), Texts{});
  EXPECT_EQ(ReadBytes(dir / c.written), Rising());
  Names expected{c.written};
  for (const auto& [file, from] : c.after) {
    EXPECT_EQ(ReadBytes(dir / file), B(from)) << file;
    expected.insert(file);
  }
  EXPECT_EQ(FilesIn(dir), expected);  // and no temporary file left behind
}

INSTANTIATE_TEST_SUITE_P(
    Saves, BackupRule,
    ::testing::Values(
        BackupCase{"NewNameGetsTheDefaultExtension", "bass", {}, "bass.3CV", {}},
        BackupCase{"NoExtension", "bass", {"bass.3CV"}, "bass.3CV", {{"bass.BAK", "bass.3CV"}}},
        BackupCase{"SameName", "bass.3CV", {"bass.3CV"}, "bass.3CV", {{"bass.BAK", "bass.3CV"}}},
        BackupCase{"OtherExtensionIsKept", "bass.txt", {"bass.txt", "bass.3CV"}, "bass.txt",
                   {{"bass.BAK", "bass.txt"}, {"bass.3CV", "bass.3CV"}}},
        BackupCase{"OlderBackupStays", "bass.3CV", {"bass.3CV", "bass.BAK"}, "bass.3CV",
                   {{"bass.BAK", "bass.BAK"}}},
        BackupCase{"DotInTheFolderIsNoExtension", "v1.2/bass", {"v1.2/bass.3CV"},
                   "v1.2/bass.3CV", {{"v1.2/bass.BAK", "v1.2/bass.3CV"}}},
        BackupCase{"TrailingDot", "bass.", {"bass."}, "bass.", {{"bass.BAK", "bass."}}}),
    [](const auto& info) { return std::string(info.param.name); });

// Takes away root's right to ignore the folder's permissions while it lives.
class Unprivileged {
 public:
  Unprivileged() : root_(geteuid() == 0), ok_(!root_ || seteuid(65534) == 0) {}
  ~Unprivileged() {
    if (root_ && ok_ && seteuid(0) != 0) std::abort();
  }
  bool ok() const { return ok_; }

 private:
  bool root_;
  bool ok_;
};

TEST_F(TableFiles, SaveIntoAReadOnlyFolderFailsAndKeepsTheFile) {
  const fs::path locked = dir / "locked";
  fs::create_directories(locked);
  WriteBytes(locked / "bass.3CV", "previous");
  fs::permissions(dir, fs::perms::others_exec, fs::perm_options::add);
  fs::permissions(locked, fs::perms::owner_write, fs::perm_options::remove);
  {
    Unprivileged user;
    if (!user.ok()) {
      GTEST_SKIP() << "running as root without the right to become another user";
    }
    Save(locked / "bass");
  }
  fs::permissions(locked, fs::perms::owner_write, fs::perm_options::add);
  EXPECT_EQ(FileErrors(), Texts{"Write File Error - Abort Saving"});
  EXPECT_EQ(FilesIn(locked), Names{"bass.3CV"});
  EXPECT_EQ(ReadBytes(locked / "bass.3CV"), B("previous"));
}

TEST_F(TableFiles, SaveUnderAPathThatCannotExistFails) {
  WriteBytes(dir / "plain", "plain");
  Save(dir / "plain" / "bass");
  EXPECT_EQ(FileErrors(), Texts{"Write File Error - Abort Saving"});
  EXPECT_EQ(FilesIn(dir), Names{"plain"});
}

TEST_F(TableFiles, SaveOntoAFolderOfThatNameFailsAndMovesNothing) {
  fs::create_directories(dir / "bass.3CV");
  WriteBytes(dir / "bass.3CV" / "inside", "kept");
  Save(dir / "bass.3CV");
  EXPECT_EQ(FileErrors(), Texts{"Write File Error - Abort Saving"});
  EXPECT_EQ(FilesIn(dir), Names{"bass.3CV/inside"});
  EXPECT_EQ(ReadBytes(dir / "bass.3CV" / "inside"), B("kept"));
}

using testing_support::FileSizeLimit;

TEST_F(TableFiles, SaveThatCannotWriteAllBytesLeavesThePreviousFileWhole) {
  WriteBytes(dir / "bass.3CV", "previous");
  for (const Names& before : {Names{"bass.3CV"}, Names{"bass.3CV", "bass.BAK"}}) {
    if (before.count("bass.BAK")) WriteBytes(dir / "bass.BAK", "oldest");
    {
      FileSizeLimit limit(10);
      Save(dir / "bass.3CV");
    }
    EXPECT_EQ(FileErrors(), Texts{"Write File Error - Abort Saving"});
    EXPECT_EQ(ReadBytes(dir / "bass.3CV"), B("previous"));  // back under its name
    EXPECT_EQ(FilesIn(dir), before);
  }
  EXPECT_EQ(ReadBytes(dir / "bass.BAK"), B("oldest"));
}

}  // namespace
