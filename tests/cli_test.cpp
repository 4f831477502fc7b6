// The command-line tool: its verbs on the virtual MIDI service, what it sends
// and writes compared with the editor's own transfer and saves, and bad files.
#include <gtest/gtest.h>

#include <QDir>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <random>
#include <unistd.h>
#include <sstream>

#include "app/form1.h"
#include "cli/tool.h"
#include "midi/midi_output.h"
#include "midi/platform/backend_choice.h"
#include "midi/platform/device_info.h"
#include "midi/platform/virtual_backend.h"
#include "protocol/parameter_message.h"
#include "ui/dialogs.h"
#include "support/editor_fixture.h"
#include "support/forwarding_backend.h"
#include "support/test_support.h"

namespace {

using Bytes = std::vector<uint8_t>;
using Texts = std::vector<std::string>;
using testing_support::Hex;

Bytes ReadBytes(const std::string& path) {
  QFile file(QString::fromStdString(path));
  if (!file.open(QIODevice::ReadOnly)) return {};
  const QByteArray data = file.readAll();
  return Bytes(data.begin(), data.end());
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  QFile file(QString::fromStdString(path));
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size()));
}

// The first-run configuration as the editor saves it.
const Bytes kFirstRunConfig = {0x00, 0x18, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00,
                               0x00, 0x3F, 0x3F, 0x0C, 0x18, 0x00, 0x00, 0xFF, 0xFF, 0xFF, 0xFF,
                               0x40, 0x40, 0x40, 0x40, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00};

Bytes Message(int device, int parameter, int value) {
  return {0xF0, 0x70, 0x7B, static_cast<uint8_t>(device), static_cast<uint8_t>(parameter),
          static_cast<uint8_t>(value & 0x0F), static_cast<uint8_t>((value >> 4) & 0x0F), 0xF7};
}

struct Result {
  int code;
  std::string out;
  std::string err;
};

// The tool's runs on a virtual service with two outputs: "Keyboard" (a synth,
// so not what the editor opens) and "TQX Cable" (the first MIDI port).
class Tool : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    auto backend = std::make_unique<VirtualMidiBackend>();
    midi = backend.get();
    midi->AddOutputDevice("Keyboard", MOD_SYNTH);
    midi->AddOutputDevice("TQX Cable", MOD_MIDIPORT);
    SetMidiBackend(std::move(backend));
    PacingClock::Install(&clock);
  }
  void TearDown() override {
    PacingClock::Install(nullptr);
    SetMidiBackend(nullptr);
  }

  Result Run(const Texts& args, bool progress = false) {
    std::ostringstream out, err;
    cli::Io io{out, err, progress, {}};
    const int code = cli::Run(args, io);
    return {code, out.str(), err.str()};
  }
  std::string Path(const std::string& name) const {
    return dir.filePath(QString::fromStdString(name)).toStdString();
  }
  std::string File(const std::string& name, const Bytes& bytes) {
    WriteBytes(Path(name), bytes);
    return Path(name);
  }
  Texts SentHex(int device) {
    Texts texts;
    for (const auto& message : midi->Sent(device)) texts.push_back(Hex(message));
    return texts;
  }

  QTemporaryDir dir;
  VirtualMidiBackend* midi = nullptr;
  testing_support::InstantClock clock;
};

TEST_F(Tool, PortsListsDevicesAndMarksTheEditorsOutput) {
  const Result text = Run({"ports"});
  EXPECT_EQ(text.code, 0);
  EXPECT_EQ(text.out,
            "  0  Generic Synth      Keyboard\n"
            "  1  MIDI Port          TQX Cable  (the editor's output)\n");
  const Result json = Run({"ports", "--json"});
  EXPECT_NE(json.out.find("\"name\": \"TQX Cable\""), std::string::npos);
  EXPECT_NE(json.out.find("\"editorDefault\": true"), std::string::npos);
  EXPECT_NE(json.out.find("\"technology\": \"Generic Synth\""), std::string::npos);
}

TEST_F(Tool, SendGoesToTheEditorsOutputInFileOrderAndEndsWithFlash) {
  Bytes table(48);
  for (int i = 0; i < 48; ++i) table[i] = static_cast<uint8_t>(i * 5);
  const Result result = Run({"send", File("a.TQC", kFirstRunConfig), File("bass.3CV", table),
                             "--device-id", "3", "--flash"});
  EXPECT_EQ(result.code, 0) << result.err;
  EXPECT_TRUE(result.err.empty());  // quiet when not on a terminal
  const Texts sent = SentHex(1);
  ASSERT_EQ(sent.size(), 32u + 48u + 1u);
  EXPECT_EQ(sent[0], "F0 70 7B 02 20 00 00 F7");
  EXPECT_EQ(sent[3], "F0 70 7B 02 23 0F 0F F7");
  EXPECT_EQ(sent[32], "F0 70 7B 02 40 00 00 F7");
  EXPECT_EQ(sent[32 + 47], Hex(Message(2, 64 + 47, 235)));
  EXPECT_EQ(sent.back(), "F0 70 7B 02 7F 04 03 F7");
  EXPECT_TRUE(midi->Sent(0).empty());
}

TEST_F(Tool, SendPortByNameOrIndexAndAnUnknownPortListsThePorts) {
  const std::string dump = File("one.SYX", Message(9, 0x6F, 0xAB));  // sent as it stands
  EXPECT_EQ(Run({"send", dump, "--port", "Keyboard"}).code, 0);
  EXPECT_EQ(Run({"send", dump, "--port=0"}).code, 0);
  EXPECT_EQ(SentHex(0), Texts(2, "F0 70 7B 09 6F 0B 0A F7"));
  const Result unknown = Run({"send", dump, "--port", "Drums"});
  EXPECT_EQ(unknown.code, 1);
  EXPECT_NE(unknown.err.find("no output port \"Drums\""), std::string::npos);
  EXPECT_NE(unknown.err.find("TQX Cable"), std::string::npos);
  EXPECT_EQ(Run({"send", dump, "--port", "7"}).code, 1);
  EXPECT_EQ(midi->Sent(0).size() + midi->Sent(1).size(), 2u);
}

TEST_F(Tool, DryRunPrintsTheMessagesAndOpensNoPort) {
  const Result result = Run({"send", File("a.TQC", kFirstRunConfig), "--dry-run"});
  EXPECT_EQ(result.code, 0);
  std::istringstream lines(result.out);
  Texts printed;
  for (std::string line; std::getline(lines, line);) printed.push_back(line);
  ASSERT_EQ(printed.size(), 32u);
  EXPECT_EQ(printed[1], "F0 70 7B 00 21 08 01 F7");
  EXPECT_EQ(midi->CallCount(VirtualMidiBackend::Call::OutOpen), 0);
}

// Fails the port's third long message: the clock is read during each wait.
class FailingThirdClock : public testing_support::InstantClock {
 public:
  explicit FailingThirdClock(VirtualMidiBackend& midi) : midi_(midi) {}
  std::chrono::nanoseconds Now() override {
    if (!armed_ && midi_.CallCount(VirtualMidiBackend::Call::OutLongMsg) == 2) {
      armed_ = true;
      midi_.FailNext(VirtualMidiBackend::Call::OutLongMsg, MMSYSERR_NODRIVER);
    }
    return InstantClock::Now();
  }

 private:
  VirtualMidiBackend& midi_;
  bool armed_ = false;
};

TEST_F(Tool, AFailingSendStopsThereWithThePlatformsTextAndExitCode1) {
  FailingThirdClock failing(*midi);
  PacingClock::Install(&failing);
  const Result result = Run({"send", File("a.TQC", kFirstRunConfig), "--flash"});
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.err,
            "tqx512: There is no driver installed on your system. (2 of 33 messages sent to "
            "\"TQX Cable\")\n");
  EXPECT_EQ(midi->Sent(1).size(), 2u);

  midi->FailNext(VirtualMidiBackend::Call::OutOpen, MMSYSERR_ALLOCATED);
  EXPECT_EQ(Run({"send", Path("a.TQC")}).code, 1);
}

TEST_F(Tool, ProgressOnATerminalCountsMessagesAndSecondsLeft) {
  const Result result = Run({"send", File("a.TQC", kFirstRunConfig)}, true);
  EXPECT_EQ(result.code, 0);
  EXPECT_NE(result.err.find("] 0/32 messages, 3.2 s left"), std::string::npos);
  EXPECT_NE(result.err.find("] 31/32 messages, 0.1 s left"), std::string::npos);
  EXPECT_NE(result.err.find("[##############################] 32/32 messages, 0.0 s left"),
            std::string::npos);
}

TEST_F(Tool, ShowNamesValuesSourcesBoxesAndNotes) {
  Bytes config = kFirstRunConfig;
  config[3] = 0x01;  // CRF0: controller 1
  config[9] = 0xC5;  // Polyphonic, 4 Voices, Retrigg, MIDI Clock
  config[16] = 0x0A; // CV 2 and CV 4 PB
  config[26] = 61;
  const Result shown = Run({"show", File("s.TQC", config)});
  EXPECT_EQ(shown.code, 0);
  for (const char* line : {" 32  CAN          0  channel 1\n", " 33  NREF        24  24 (C 0)\n",
                           " 35  CRF0         1  Modulation Wheel (coarse)\n",
                           " 36  CRF1       255  ----- none-------\n",
                           " 41  CFG0       197  MIDI Clock, Retrigg, 4 Voices, Polyphonic\n",
                           " 44  THR1        63  level 64\n", " 48  CFG3        10  CV 2 PB, CV 4 PB\n",
                           " 58  GNOT1       61  61 (C#3)\n"})
    EXPECT_NE(shown.out.find(line), std::string::npos) << line;

  Bytes table(48, 7);
  const Result entries = Run({"show", File("t.TQX", table), "--base-note", "60"});
  EXPECT_NE(entries.out.find(" 0  note  60  C 3     7\n"), std::string::npos) << entries.out;
  EXPECT_NE(entries.out.find("47  note 107  B 6     7\n"), std::string::npos);
}

TEST_F(Tool, ConvertNeverOverwritesWithoutForceNorReplacesAFolder) {
  const std::string in = File("a.TQC", kFirstRunConfig);
  const std::string out = File("a.SYX", {1, 2, 3});
  const Result refused = Run({"convert", in, out});
  EXPECT_EQ(refused.code, 2);
  EXPECT_EQ(ReadBytes(out), (Bytes{1, 2, 3}));
  EXPECT_EQ(Run({"convert", in, out, "--force"}).code, 0);
  EXPECT_EQ(ReadBytes(out).size(), 256u);

  ASSERT_TRUE(QDir(dir.path()).mkdir("live.SYX"));
  EXPECT_EQ(Run({"convert", in, Path("live.SYX"), "--force"}).code, 2);
  EXPECT_TRUE(QFileInfo(QString::fromStdString(Path("live.SYX"))).isDir());

  // A dump without the whole record holds no configuration.
  EXPECT_EQ(Run({"convert", File("part.SYX", Message(0, 40, 1)), Path("part.TQC")}).code, 2);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("part.TQC"))));
  EXPECT_EQ(Run({"convert", in, Path("a.3CV")}).code, 2);
}

TEST_F(Tool, UsageErrorsExitWith2) {
  EXPECT_EQ(Run({}).code, 2);
  EXPECT_EQ(Run({"play"}).code, 2);
  EXPECT_EQ(Run({"send"}).code, 2);
  EXPECT_EQ(Run({"send", "x.TQC", "--loud"}).code, 2);
  EXPECT_EQ(Run({"send", File("a.TQC", kFirstRunConfig), "--device-id", "129"}).code, 2);
  EXPECT_EQ(Run({"send", Path("a.TQC"), "--device-id"}).code, 2);
  // A tuning run that could not end well does not start.
  const std::vector<std::string> tune = {"tune", "--audio-input", "default", "--out", Path("t.3CV")};
  for (const std::vector<std::string>& more : std::vector<std::vector<std::string>>{
           {"--range", "2..5"}, {"--base-note", "100"}, {"--reference", "a4=440x"}, {"--report", "/no/such/r.csv"}}) {
    std::vector<std::string> args = tune;
    args.insert(args.end(), more.begin(), more.end());
    EXPECT_EQ(Run(args).code, 2) << more[0];
  }
  for (const char* verb : {"ports", "send", "convert", "show", "tune"}) {
    const Result help = Run({verb, "--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_EQ(help.out.rfind(std::string("usage: tqx512 ") + verb, 0), 0u) << verb;
  }
  EXPECT_EQ(Run({"--version"}).out.rfind("tqx512 ", 0), 0u);
  EXPECT_TRUE(midi->Sent(1).empty());
}

// Each bad file names itself, the offset and the fault, exits 2 and sends nothing.
TEST_F(Tool, BadFilesNameTheOffsetAndWhatIsWrong) {
  Bytes dump;
  for (int p = 32; p < 64; ++p) {
    const Bytes m = Message(0, p, kFirstRunConfig[p - 32]);
    dump.insert(dump.end(), m.begin(), m.end());
  }
  const auto with = [](Bytes bytes, size_t at, uint8_t value) {
    bytes[at] = value;
    return bytes;
  };
  struct Case {
    std::string name;
    Bytes bytes;
    std::string error;
  };
  const std::vector<Case> cases = {
      {"short.TQC", Bytes(31), "offset 31: a configuration file has 32 bytes, this one only 31"},
      {"short.3CV", Bytes(47), "offset 47: a note table file has 48 bytes, this one only 47"},
      {"range.TQC", with(kFirstRunConfig, 0, 16), "offset 0: CAN 16 is outside 0..15"},
      {"div.TQC", with(kFirstRunConfig, 15, 0), "offset 15: DIV 0 is outside 1..128"},
      {"pb.TQC", with(kFirstRunConfig, 16, 1), "offset 16: CFG3 01 sets a bit that is always 0"},
      {"header.SYX", with(dump, 17, 0x71), "offset 17: wrong header byte 71, expected 70"},
      {"high.SYX", with(dump, 12, 0x80), "offset 12: data byte 80 has the high bit set"},
      {"cut.SYX", Bytes(dump.begin(), dump.end() - 3), "offset 248: truncated message: 5 of 8 bytes"},
      {"param.SYX", with(dump, 4, 0x70), "offset 4: parameter 112 is outside the map (32..111, 127)"},
      {"value.SYX", with(dump, 8 * 15 + 6, 0x09), "offset 125: DIV 152 is outside 1..128"},
      {"end.SYX", with(dump, 7, 0xF0), "offset 7: byte F0 where the message ends with F7"},
      {"empty.SYX", {}, "offset 0: empty: no parameter message"},
  };
  for (const Case& c : cases) {
    const std::string path = File(c.name, c.bytes);
    const Result result = Run({"send", File("good.TQC", kFirstRunConfig), path});
    EXPECT_EQ(result.code, 2) << c.name;
    EXPECT_EQ(result.err, "tqx512: " + path + ": " + c.error + "\n") << c.name;
  }
  EXPECT_EQ(Run({"show", Path("missing.TQC")}).err,
            "tqx512: " + Path("missing.TQC") + ": No such file or directory\n");
  EXPECT_EQ(Run({"send", dir.path().toStdString() + "/x.txt"}).code, 2);
  EXPECT_EQ(midi->CallCount(VirtualMidiBackend::Call::OutOpen), 0);
}

// Thousands of random and mutated files for each reader: each mutation breaks
// the file at least once (a short size, a header, a high bit, a range), so every
// one must be refused with a message and nothing sent. (A configuration or table
// longer than its size is read as the editor reads it: its start.)
TEST_F(Tool, FuzzedFilesAreAlwaysRefusedAndNeverSent) {
  std::mt19937 random(20261208);
  const auto byte = [&] { return static_cast<uint8_t>(random() & 0xFF); };
  Bytes dump;
  for (int p = 32; p < 64; ++p) {
    const Bytes m = Message(0, p, kFirstRunConfig[p - 32]);
    dump.insert(dump.end(), m.begin(), m.end());
  }
  const Bytes table(48, 100);
  struct Reader {
    const char* extension;
    Bytes valid;
  };
  int refused = 0;
  for (const Reader& reader : {Reader{".TQC", kFirstRunConfig}, Reader{".3CV", table},
                               Reader{".SYX", dump}}) {
    for (int round = 0; round < 2000; ++round) {
      Bytes bytes = reader.valid;
      for (int flips = static_cast<int>(random() % 4); flips > 0; --flips)
        bytes[random() % bytes.size()] = byte();
      const bool dumped = reader.valid == dump;
      switch (round % 3) {
        case 0:  // another size (a dump only by a part of a message)
          bytes.resize(reader.valid.size() + 1 + random() % 20 - (random() % 2 || !dumped) * 21);
          if (bytes.size() == reader.valid.size() || bytes.size() % 8 == 0) bytes.push_back(byte());
          break;
        case 1:  // random bytes of a random length
          bytes.resize(random() % (dumped ? 300 : reader.valid.size()));
          for (auto& b : bytes) b = byte();
          if (bytes.size() == reader.valid.size()) bytes.pop_back();
          break;
        default:  // a break of the format itself
          if (reader.valid == table) {
            bytes.resize(random() % 48);
          } else if (dumped) {
            bytes[(random() % 32) * 8 + 3 + random() % 4] |= 0x80;
          } else {
            bytes[15] = 0;  // DIV 0
          }
      }
      const std::string path = File("fuzz" + std::string(reader.extension), bytes);
      const Result result = Run({"send", path});
      refused += result.code == 2 && result.err.rfind("tqx512: " + path + ": ", 0) == 0;
    }
  }
  EXPECT_EQ(refused, 3 * 2000);
  EXPECT_EQ(midi->CallCount(VirtualMidiBackend::Call::OutOpen), 0);
}

// One device ID for every message: a configuration's own, or --device-id for
// all of them, parameter 34 included; a dump's own for --flash.
TEST_F(Tool, OneDeviceIdForEveryMessageOfASend) {
  const auto dryRun = [&](const Texts& args) {
    Texts lines;
    std::istringstream out(Run(args).out);
    for (std::string line; std::getline(out, line);) lines.push_back(line);
    return lines;
  };
  Bytes config = kFirstRunConfig;
  config[2] = 4;  // saved at device ID 5
  const std::string tqc = File("five.TQC", config);
  Texts sent = dryRun({"send", tqc, "--dry-run", "--flash"});
  ASSERT_EQ(sent.size(), 33u);
  EXPECT_EQ(sent[0], "F0 70 7B 04 20 00 00 F7");
  EXPECT_EQ(sent[2], "F0 70 7B 04 22 04 00 F7");
  EXPECT_EQ(sent[32], "F0 70 7B 04 7F 04 03 F7");
  sent = dryRun({"send", tqc, "--dry-run", "--device-id", "21"});
  EXPECT_EQ(sent[0], "F0 70 7B 04 20 00 00 F7");
  EXPECT_EQ(sent[2], "F0 70 7B 04 22 04 01 F7") << "parameter 34 carries the whole ID";
  sent = dryRun({"send", tqc, "--dry-run", "--device-id", "2"});
  EXPECT_EQ(sent[2], "F0 70 7B 01 22 01 00 F7");
  EXPECT_EQ(sent[31], "F0 70 7B 01 3F 00 00 F7");

  // A dump made at ID 5, ending with Write to Flash.
  ASSERT_EQ(Run({"convert", tqc, Path("five.SYX"), "--flash"}).code, 0);
  EXPECT_EQ(ReadBytes(Path("five.SYX")).size(), 264u);
  sent = dryRun({"send", Path("five.SYX"), "--dry-run", "--flash"});
  ASSERT_EQ(sent.size(), 33u) << "flashed once";
  EXPECT_EQ(sent[32], "F0 70 7B 04 7F 04 03 F7");
  sent = dryRun({"send", Path("five.SYX"), "--dry-run", "--device-id", "2"});
  ASSERT_EQ(sent.size(), 33u);
  EXPECT_EQ(sent[2], "F0 70 7B 01 22 01 00 F7");
  EXPECT_EQ(sent[32], "F0 70 7B 01 7F 04 03 F7");
  ASSERT_EQ(Run({"convert", Path("five.SYX"), Path("two.TQC"), "--device-id", "2"}).code, 0);
  EXPECT_EQ(ReadBytes(Path("two.TQC"))[2], 1);

  const std::string table = File("t.3CV", Bytes(48, 9));
  EXPECT_EQ(dryRun({"send", table, "--dry-run", "--flash"}).back(), "F0 70 7B 00 7F 04 03 F7");
  EXPECT_EQ(dryRun({"send", table, "--dry-run", "--device-id", "3"})[0], "F0 70 7B 02 40 09 00 F7");
  // A table goes where the configuration beside it goes; two interfaces need the option.
  EXPECT_EQ(dryRun({"send", tqc, table, "--dry-run"})[32], "F0 70 7B 04 40 09 00 F7");
  const Result two = Run({"send", tqc, File("one.TQC", kFirstRunConfig), "--dry-run"});
  EXPECT_EQ(two.code, 2);
  EXPECT_NE(two.err.find("device ID 5 and " + Path("one.TQC") + " for device ID 1"), std::string::npos)
      << two.err;
}

TEST_F(Tool, LongerFilesAreReadByTheirStartWithAWarning) {
  Bytes config = kFirstRunConfig;
  config.resize(40, 0xEE);
  Bytes table(100, 0xEE);
  for (int i = 0; i < 48; ++i) table[i] = static_cast<uint8_t>(i);
  const Result sent = Run({"send", File("long.TQC", config), File("long.TQX", table), "--dry-run"});
  EXPECT_EQ(sent.code, 0) << sent.err;
  EXPECT_EQ(sent.err, "tqx512: warning: " + Path("long.TQC") +
                          ": longer than 32 bytes; the first 32 are used, as the editor does\n"
                          "tqx512: warning: " + Path("long.TQX") +
                          ": longer than 48 bytes; the first 48 are used, as the editor does\n");
  EXPECT_NE(sent.out.find("F0 70 7B 00 3F 00 00 F7\nF0 70 7B 00 40 00 00 F7\n"), std::string::npos);
  EXPECT_NE(sent.out.find("F0 70 7B 00 6F 0F 02 F7\n"), std::string::npos);
}

// Fails the port's third long message after it was taken: its done notice
// says it went nowhere.
class LosingThirdClock : public testing_support::InstantClock {
 public:
  explicit LosingThirdClock(VirtualMidiBackend& midi) : midi_(midi) {}
  std::chrono::nanoseconds Now() override {
    if (!armed_ && midi_.CallCount(VirtualMidiBackend::Call::OutLongMsg) == 2) {
      armed_ = true;
      midi_.LoseNextLong(MMSYSERR_NODRIVER);
    }
    return InstantClock::Now();
  }

 private:
  VirtualMidiBackend& midi_;
  bool armed_ = false;
};

TEST_F(Tool, AMessageDeliveredNowhereFailsTheSendAndIsNotCounted) {
  ui::ScriptedDialogs dialogs;  // would record a box, had the tool shown one
  LosingThirdClock losing(*midi);
  PacingClock::Install(&losing);
  const Result result = Run({"send", File("a.TQC", kFirstRunConfig)});
  EXPECT_EQ(result.code, 1);
  const size_t arrived = midi->Sent(1).size();
  EXPECT_LT(arrived, 32u);
  EXPECT_EQ(result.err, "tqx512: There is no driver installed on your system. (" +
                            std::to_string(arrived) + " of 32 messages sent to \"TQX Cable\")\n");
  EXPECT_TRUE(dialogs.boxes.empty());
}

// A service whose devices have whole names and addresses beside the cut ones:
// the virtual service, with the names a real one gives.
class NamedService : public testing_support::ForwardingMidiBackend {
 public:
  struct Named {
    std::string name;
    std::string address;
  };
  NamedService(std::unique_ptr<VirtualMidiBackend> inner, std::vector<Named> names)
      : ForwardingMidiBackend(std::move(inner)), names_(std::move(names)) {}
  MMRESULT OutGetDevInfo(UINT device, MidiDeviceInfo& info) override {
    if (device >= names_.size()) return MMSYSERR_BADDEVICEID;
    info = {names_[device].name, names_[device].name, names_[device].address};
    return MMSYSERR_NOERROR;
  }

 private:
  std::vector<Named> names_;
};

TEST_F(Tool, PortsAreFoundByIndexAddressWholeNameStartOrPart) {
  auto inner = std::make_unique<VirtualMidiBackend>();
  midi = inner.get();
  const std::string audit = "Audit Interface With A Long Name:MIDI ";
  // The last two are two identical interfaces.
  const std::vector<NamedService::Named> names = {
      {"Keyboard", "20:0"}, {"TQX Cable", "24:0"}, {audit + "1", "28:0"}, {audit + "2", "28:1"},
      {audit + "2", "32:1"}};
  for (const auto& named : names)
    midi->AddOutputDevice(named.name.substr(0, 31), named.name == "Keyboard" ? MOD_SYNTH : MOD_MIDIPORT);
  SetMidiBackend(std::make_unique<NamedService>(std::move(inner), names));
  EXPECT_EQ(Run({"ports"}).out,
            "  0  20:0     Generic Synth      Keyboard\n"
            "  1  24:0     MIDI Port          TQX Cable  (the editor's output)\n"
            "  2  28:0     MIDI Port          Audit Interface With A Long Name:MIDI 1\n"
            "  3  28:1     MIDI Port          Audit Interface With A Long Name:MIDI 2\n"
            "  4  32:1     MIDI Port          Audit Interface With A Long Name:MIDI 2\n");
  const std::string dump = File("one.SYX", Message(0, 0x40, 1));
  const std::vector<std::pair<std::string, int>> choices = {
      {"3", 3}, {"28:0", 2}, {"32:1", 4}, {"audit interface with a long name:midi 1", 2}, {"tqx", 1},
      {"CABLE", 1}, {"board", 0}};
  for (const auto& [choice, device] : choices) {
    const size_t before = midi->Sent(device).size();
    EXPECT_EQ(Run({"send", dump, "--port", choice}).code, 0) << choice;
    EXPECT_EQ(midi->Sent(device).size(), before + 1) << choice;
  }
  const Result ambiguous = Run({"send", dump, "--port", "Audit Interface With A Long Name:MIDI 2"});
  EXPECT_EQ(ambiguous.code, 2);
  EXPECT_EQ(ambiguous.err,
            "tqx512: \"Audit Interface With A Long Name:MIDI 2\" matches 2 ports; give one's index "
            "or address:\n"
            "  3  28:1     MIDI Port          Audit Interface With A Long Name:MIDI 2\n"
            "  4  32:1     MIDI Port          Audit Interface With A Long Name:MIDI 2\n");
  EXPECT_EQ(Run({"send", dump, "--port", "audit"}).code, 2);
  EXPECT_EQ(Run({"send", dump, "--port", "Drums"}).code, 1);
}

TEST_F(Tool, WithoutTheEditorsPortOrAServiceASendOrListingExits1) {
  SetMidiBackend(nullptr);
  auto onlySynth = std::make_unique<VirtualMidiBackend>();
  onlySynth->AddOutputDevice("Keyboard", MOD_SYNTH);
  SetMidiBackend(std::move(onlySynth));
  const Result result = Run({"send", File("a.TQC", kFirstRunConfig)});
  EXPECT_EQ(result.code, 1);
  EXPECT_EQ(result.err.rfind("tqx512: MIDI output technology MIDI Port not installed; the ports are:\n", 0), 0u)
      << result.err;
  SetMidiBackend(MakeNoneMidiBackend());
  EXPECT_EQ(Run({"ports"}).code, 1);
  EXPECT_EQ(Run({"send", Path("a.TQC")}).code, 1);
}

TEST_F(Tool, ShowJsonIsTypedAndAlikeForAConfigurationAndItsDump) {
  Bytes config = kFirstRunConfig;
  config[0] = 9;      // channel 10
  config[2] = 20;     // device ID 21
  config[3] = 64;     // CRF0: controller 64, "Hold Pedal (on/off)  "
  config[4] = 0xFE;   // CRF1: nothing selected
  config[9] = 0xC1;   // Polyphonic, 4 Voices, MIDI Clock
  config[12] = 0xFF;  // gate 5 level 0
  const std::string tqc = File("j.TQC", config);
  ASSERT_EQ(Run({"convert", tqc, Path("j.SYX")}).code, 0);
  const auto json = [&](const std::string& path) {
    const Result shown = Run({"show", path, "--json"});
    EXPECT_EQ(shown.code, 0) << shown.err;
    return QJsonDocument::fromJson(QByteArray::fromStdString(shown.out)).object();
  };
  const QJsonObject file = json(tqc);
  const QJsonObject dump = json(Path("j.SYX"));
  EXPECT_EQ(file.value("type").toString(), "configuration");
  EXPECT_EQ(dump.value("type").toString(), "dump");
  EXPECT_EQ(file.value("deviceId").toInt(), 21);
  EXPECT_EQ(dump.value("deviceId").toInt(), 21);
  const QJsonArray fields = file.value("configuration").toArray();
  EXPECT_EQ(dump.value("configuration").toArray(), fields);
  ASSERT_EQ(fields.size(), 32);
  EXPECT_EQ(fields[0].toObject().value("value"), QJsonValue(10));
  EXPECT_EQ(fields[2].toObject().value("value"), QJsonValue(21));
  EXPECT_EQ(fields[3].toObject().value("value"), QJsonValue(64));
  EXPECT_EQ(fields[3].toObject().value("text"), QJsonValue("Hold Pedal (on/off)"));
  EXPECT_TRUE(fields[4].toObject().value("value").isNull());
  EXPECT_TRUE(fields[5].toObject().value("value").isNull());
  EXPECT_EQ(fields[5].toObject().value("byte"), QJsonValue(255));
  EXPECT_EQ(fields[12].toObject().value("value"), QJsonValue(0));
  const QJsonObject cfg0 = fields[9].toObject().value("value").toObject();
  EXPECT_EQ(cfg0.value("Polyphonic"), QJsonValue(true));
  EXPECT_EQ(cfg0.value("Retrigg"), QJsonValue(false));
  EXPECT_EQ(cfg0.size(), 8);
  const QJsonArray messages = dump.value("messages").toArray();
  ASSERT_EQ(messages.size(), 32);
  QJsonObject second = messages[1].toObject();
  EXPECT_EQ(second.value("deviceId"), QJsonValue(5)) << "as its device byte addresses it";
  second.remove("deviceId");
  EXPECT_EQ(second, fields[1].toObject());
}

// The built tool itself, as a user's shell runs it.
class ToolProcess : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  struct Run {
    Texts args;
    QByteArray input;
    QString output;  // a file for standard output instead of a pipe
    std::vector<std::pair<QString, QString>> environment;
  };
  Result Start(const Run& run) {
    QProcess tool;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const auto& [name, value] : run.environment) environment.insert(name, value);
    tool.setProcessEnvironment(environment);
    if (!run.output.isEmpty()) tool.setStandardOutputFile(run.output);
    QStringList args;
    for (const std::string& arg : run.args) args << QString::fromStdString(arg);
    tool.start(QCoreApplication::applicationDirPath() + "/../tqx512", args);
    EXPECT_TRUE(tool.waitForStarted(10000));
    tool.write(run.input);
    tool.closeWriteChannel();
    EXPECT_TRUE(tool.waitForFinished(60000));
    const Result result{tool.exitStatus() == QProcess::NormalExit ? tool.exitCode() : -1,
                        tool.readAllStandardOutput().toStdString(),
                        tool.readAllStandardError().toStdString()};
    EXPECT_EQ(result.err.find("Sanitizer"), std::string::npos) << result.err;
    return result;
  }
  Result Start(const Texts& args) { return Start(Run{args, {}, {}, {}}); }
  std::string Path(const std::string& name) const {
    return dir.filePath(QString::fromStdString(name)).toStdString();
  }
  std::string File(const std::string& name, const Bytes& bytes) {
    WriteBytes(Path(name), bytes);
    return Path(name);
  }
  QTemporaryDir dir;
};

TEST_F(ToolProcess, OutputThatCannotBeWrittenOrAFileThatCannotBeReadFailsWithTheReason) {
  const std::string config = File("a.TQC", kFirstRunConfig);
  for (const Texts& args : std::vector<Texts>{{"--help"}, {"show", config}, {"show", config, "--json"},
                                              {"send", config, "--dry-run"}, {"send", "--help"}}) {
    const Result full = Start(Run{args, {}, "/dev/full", {}});
    EXPECT_EQ(full.code, 1) << args[0];
    EXPECT_EQ(full.err, "tqx512: standard output: No space left on device\n") << args[0];
  }
  ASSERT_TRUE(QFile::link("/proc/self/pagemap", QString::fromStdString(Path("mapped.SYX"))));
  const Result unreadable = Start({"show", Path("mapped.SYX")});
  EXPECT_EQ(unreadable.code, 2);
  EXPECT_EQ(unreadable.err.rfind("tqx512: " + Path("mapped.SYX") + ": ", 0), 0u) << unreadable.err;
  ASSERT_TRUE(QDir(dir.path()).mkdir("folder.TQC"));
  const Result folder = Start({"send", Path("folder.TQC"), "--dry-run"});
  EXPECT_EQ(folder.code, 2);
  EXPECT_EQ(folder.err, "tqx512: " + Path("folder.TQC") + ": Is a directory\n");
}

TEST_F(ToolProcess, HelpOnEveryVerbStandardInputAndUsageErrorsNameTheVerbsHelp) {
  for (const std::string verb : {"ports", "send", "convert", "show"}) {
    for (const Texts& args : std::vector<Texts>{{verb, "-h"}, {verb, "--help"}, {"help", verb}}) {
      const Result help = Start(args);
      EXPECT_EQ(help.code, 0) << args[0] << " " << args[1];
      EXPECT_EQ(help.out.rfind("usage: tqx512 " + verb + " ", 0), 0u) << args[0] << " " << args[1];
    }
    const Result wrong = Start({verb, "--loud"});
    EXPECT_EQ(wrong.code, 2);
    EXPECT_EQ(wrong.err, "tqx512 " + verb + ": unknown option --loud\n(tqx512 " + verb +
                             " --help tells how)\n");
  }
  EXPECT_EQ(Start({"-V"}).out.rfind("tqx512 ", 0), 0u);

  const QByteArray config(reinterpret_cast<const char*>(kFirstRunConfig.data()), 32);
  const Result sent = Start(Run{{"send", "-", "--dry-run"}, config, {}, {}});
  EXPECT_EQ(sent.code, 0) << sent.err;
  EXPECT_EQ(sent.out.rfind("F0 70 7B 00 20 00 00 F7\nF0 70 7B 00 21 08 01 F7\n", 0), 0u);
  EXPECT_EQ(std::count(sent.out.begin(), sent.out.end(), '\n'), 32);
  const Result shown = Start(Run{{"show", "-", "--type", "tqc"}, config, {}, {}});
  EXPECT_NE(shown.out.find(" 47  DIV         24  divide by 24\n"), std::string::npos) << shown.err;
  EXPECT_EQ(Start(Run{{"convert", "-", Path("in.SYX")}, config, {}, {}}).code, 0);
  EXPECT_EQ(ReadBytes(Path("in.SYX")).size(), 256u);
  const Result unknown = Start(Run{{"show", "-"}, QByteArray(5, 0), {}, {}});
  EXPECT_EQ(unknown.code, 2);
  EXPECT_EQ(unknown.err,
            "tqx512: standard input: cannot tell its form from 5 bytes (give --type tqc, syx, 3cv or tqx)\n");
}

TEST_F(ToolProcess, WithoutAMidiServiceOneLineSaysWhyAndTheRunFails) {
  if (access("/dev/snd/seq", F_OK) == 0) GTEST_SKIP() << "this machine has an ALSA sequencer";
  const std::vector<std::pair<QString, QString>> noJack = {{"JACK_DEFAULT_SERVER", "tqx-nobody"}};
  const std::string config = File("a.TQC", kFirstRunConfig);
  for (const Texts& args : std::vector<Texts>{{"ports"}, {"send", config}}) {
    const Result result = Start(Run{args, {}, {}, noJack});
    EXPECT_EQ(result.code, 1) << args[0];
    EXPECT_EQ(result.err.rfind("tqx512: no MIDI service: ", 0), 0u) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

// The tool and the editor side by side, on one virtual service.
class ToolBesideEditor : public testing_support::EditorFixture {
 protected:
  void SetUp() override {
    EditorFixture::SetUp();
    ASSERT_TRUE(dir.isValid());
  }
  std::string Path(const std::string& name) const {
    return dir.filePath(QString::fromStdString(name)).toStdString();
  }
  int Run(const Texts& args, std::string* out = nullptr) {
    std::ostringstream o, err;
    cli::Io io{o, err, false, {}};
    const int code = cli::Run(args, io);
    if (out) *out = o.str();
    return code;
  }
  void Customise() {
    form->UpDown1->SetPosition(10);
    form->UpDown2->SetPosition(60);
    form->ud_DeviceID->SetPosition(21);  // device byte 04
    form->RadioButton1->SetChecked(true);
    for (TCheckBox* box : {form->CheckBox17, form->CheckBox6, form->CheckBox12, form->CheckBox21,
                           form->CheckBox9, form->CheckBox23, form->CheckBox28, form->CheckBox34})
      box->SetChecked(true);
    form->ComboBox5->SetItemIndex(8);
    form->ComboBox10->SetItemIndex(127);
    form->UpDown5->SetPosition(0);
    form->UpDown4->SetPosition(255);
    form->UpDown8->SetPosition(128);
    form->UpDown17->SetPosition(61);
    form->CheckBox25->SetChecked(true);
  }
  QTemporaryDir dir;
};

TEST_F(ToolBesideEditor, ConversionsAndSendsEqualTheEditorsSavesAndTransfers) {
  Customise();
  dialogs->AnswerNextFileDialog(Path("live.TQC"));
  form->SpeedButton6->click();
  dialogs->AnswerNextFileDialog(Path("editor.SYX"));
  form->SpeedButton4->click();
  ClearSent();
  form->BtnSendConfigClick(nullptr);
  const Texts editorSent = SentHex();
  ASSERT_EQ(editorSent.size(), 33u);

  ASSERT_EQ(Run({"convert", Path("live.TQC"), Path("tool.SYX"), "--flash"}), 0);
  EXPECT_EQ(ReadBytes(Path("tool.SYX")), ReadBytes(Path("editor.SYX")));
  ASSERT_EQ(Run({"convert", Path("editor.SYX"), Path("back.TQC")}), 0);
  EXPECT_EQ(ReadBytes(Path("back.TQC")), ReadBytes(Path("live.TQC")));

  form->MidiOutput1->Close();
  ClearSent();
  ASSERT_EQ(Run({"send", Path("live.TQC"), "--flash"}), 0);
  EXPECT_EQ(SentHex(), editorSent);
  ClearSent();
  ASSERT_EQ(Run({"send", Path("editor.SYX")}), 0);
  EXPECT_EQ(SentHex(), editorSent);
}

TEST_F(ToolBesideEditor, TableSendAndConversionEqualTheEditors) {
  Bytes table(48);
  for (int i = 0; i < 48; ++i) table[i] = static_cast<uint8_t>(255 - i * 3);
  WriteBytes(Path("in.3CV"), table);
  dialogs->AnswerNextFileDialog(Path("in.3CV"), 1);
  form->SpeedButton2->click();
  dialogs->AnswerNextFileDialog(Path("editor.3CV"), 1);
  form->SpeedButton3->click();
  ClearSent();
  form->SpeedButton12Click(nullptr);
  const Texts editorSent = SentHex();
  ASSERT_EQ(editorSent.size(), 48u);

  ASSERT_EQ(Run({"convert", Path("in.3CV"), Path("tool.TQX")}), 0);
  EXPECT_EQ(ReadBytes(Path("tool.TQX")), ReadBytes(Path("editor.3CV")));
  form->MidiOutput1->Close();
  ClearSent();
  ASSERT_EQ(Run({"send", Path("tool.TQX")}), 0);
  EXPECT_EQ(SentHex(), editorSent);
}

// Every file the editor's saves write, each source list with nothing selected
// and in each play mode, goes through the tool as the editor's transfer sends it.
TEST_F(ToolBesideEditor, EveryConfigurationTheEditorSavesIsSentAsTheEditorSendsIt) {
  const std::vector<TComboBox*> sources = {form->ComboBox5, form->ComboBox6, form->ComboBox1,
                                           form->ComboBox2, form->ComboBox7, form->ComboBox8,
                                           form->ComboBox3, form->ComboBox4, form->ComboBox9,
                                           form->ComboBox10};
  form->MidiOutput1->Close();
  int saved = 0;
  for (TRadioButton* mode : {form->RadioButton2, form->RadioButton1, form->RadioButton3}) {
    mode->SetChecked(true);
    for (TComboBox* source : sources) {
      for (TComboBox* other : sources) other->SetItemIndex(1);
      source->SetItemIndex(-1);  // nothing selected
      const std::string name = "s" + std::to_string(saved++);
      dialogs->AnswerNextFileDialog(Path(name + ".TQC"));
      form->SpeedButton6->click();
      dialogs->AnswerNextFileDialog(Path(name + ".SYX"));
      form->SpeedButton4->click();
      std::string expected;
      for (int i = 0; i < 32; ++i) {
        const ParameterMessage m = BuildParameterMessage(0, 32 + i, form->GetConfigRecord()[i]);
        expected += Hex(Bytes(m.begin(), m.end())) + "\n";
      }
      for (const char* extension : {".TQC", ".SYX"}) {
        std::string out;
        EXPECT_EQ(Run({"send", Path(name + extension), "--dry-run"}, &out), 0) << name << extension;
        EXPECT_EQ(out, expected) << name << extension;
      }
    }
  }
  EXPECT_TRUE(dialogs->boxes.empty());
}

}  // namespace
