// The settings kept between runs: the window position and nearly the whole
// configuration, saved at every close and loaded once at start-up.
#include <algorithm>
#include <exception>
#include <utility>

#include "app/form1.h"
#include "app/settings_store.h"
#include "config/gate_outputs.h"
#include "ui/user_handler.h"

namespace {

// Windows keeps window coordinates within 16 bits; a stored position beyond that
// would overflow the window's geometry.
constexpr int32_t kFarthestEdge = 32767;

// Reads each value just before it is applied; the first one that cannot be read
// ends the load.
class SettingsReader {
 public:
  explicit SettingsReader(SettingsStore& store) : store_(store) {}

  bool Value(const char* name, int32_t& value) { return store_.ReadInteger(name, value); }

  // The up-down clamps a stored position into its Min..Max, as it does a typed one.
  bool Position(const char* name, TUpDown* upDown) {
    int32_t value = 0;
    if (!Value(name, value)) return false;
    upDown->SetPosition(value);
    return true;
  }

  bool Index(const char* name, TComboBox* list) {
    int32_t value = 0;
    if (!Value(name, value)) return false;
    list->SetItemIndex(value);
    return true;
  }

  template <typename Button>
  bool Checked(const char* name, Button* button) {
    int32_t value = 0;
    if (!Value(name, value)) return false;
    button->SetChecked(value != 0);
    return true;
  }

 private:
  SettingsStore& store_;
};

// Shows the first error of the sends made during the load, and only that one.
class SendErrorReport {
 public:
  template <typename Step>
  void Run(Step step) {
    try {
      step();
    } catch (const std::exception& error) {
      if (!shown_) ui::ShowException(error);
      shown_ = true;
    }
  }

 private:
  bool shown_ = false;
};

int32_t Flag(bool checked) { return checked ? 1 : 0; }

// Texts, unlike the 38 integers, so an older version's store simply lacks them.
constexpr const char* kChosenOutputIdentity = "OUTID";
constexpr const char* kChosenOutputName = "OUTNAME";

}  // namespace

void TForm1::SaveSettings() {
  const std::unique_ptr<SettingsStore> store = SettingsStore::Connect();
  if (!store->Open(true)) return;
  const std::pair<const char*, int32_t> values[] = {
      {"PX", pos().x()},
      {"PY", pos().y()},
      {"NREF", UpDown2->Position()},
      {"CAN", UpDown1->Position()},
      {"CRF0", ComboBox5->ItemIndex()},
      {"CRF1", ComboBox6->ItemIndex()},
      {"CRF2", ComboBox1->ItemIndex()},
      {"CRF3", ComboBox2->ItemIndex()},
      {"CRF4", ComboBox7->ItemIndex()},
      {"CRF5", ComboBox8->ItemIndex()},
      {"TTIME", UpDown4->Position()},
      {"THR1", UpDown5->Position()},
      {"THR2", UpDown3->Position()},
      {"MONO", Flag(RadioButton2->Checked())},
      {"POLY", Flag(RadioButton1->Checked())},
      {"CTRL", Flag(RadioButton3->Checked())},
      {"WPFL", Flag(CheckBox25->Checked())},
      {"CFG0", GetConfigByte0()},
      {"CFG1", GetConfigByte1()},
      {"CFG2", GetConfigByte2()},
      {"CFG3", GetConfigByte3()},
      {"SPD", UpDown10->Position()},
      {"DIV", UpDown8->Position()},
      {"MODEL", Flag(RadioButton4->Checked())},
      {"MIDIRT", Flag(CheckBox26->Checked())},
      {"CFG4", GetConfigByte4()},
      {"GREF1", ComboBox3->ItemIndex()},
      {"GREF2", ComboBox4->ItemIndex()},
      {"GREF3", ComboBox9->ItemIndex()},
      {"GREF4", ComboBox10->ItemIndex()},
      {"GNOT1", UpDown14->Position()},
      {"GNOT2", UpDown15->Position()},
      {"GNOT3", UpDown16->Position()},
      {"GNOT4", UpDown17->Position()},
      {"GLEV1", UpDown11->Position()},
      {"GLEV2", UpDown9->Position()},
      {"GLEV3", UpDown13->Position()},
      {"GLEV4", UpDown12->Position()},
  };
  bool written = true;
  for (const auto& [name, value] : values) {
    written = store->WriteInteger(name, value);
    if (!written) break;  // the values written so far stay
  }
  // The output the user chose goes beside them, by who it is and by its whole name.
  if (written && !FChosenOutput.identity.empty() &&
      store->WriteString(kChosenOutputIdentity, FChosenOutput.identity))
    store->WriteString(kChosenOutputName, FChosenOutput.name);
  store->Close();
}

MidiDeviceInfo TForm1::LoadChosenOutput() {
  MidiDeviceInfo chosen;
  const std::unique_ptr<SettingsStore> store = SettingsStore::Connect();
  if (!store->Open(false)) return chosen;
  if (!store->ReadString(kChosenOutputIdentity, chosen.identity) ||
      !store->ReadString(kChosenOutputName, chosen.name))
    chosen = {};
  store->Close();
  return chosen;
}

void TForm1::LoadSettings() {
  const std::unique_ptr<SettingsStore> store = SettingsStore::Connect();
  if (!store->Open(false)) return;  // first run: the initial state stays
  ApplySettings(*store);
  store->Close();
}

// Puts the stored values back, then brings the controls that depend on each other
// into step. Stops at the first value that cannot be read.
bool TForm1::ApplySettings(SettingsStore& store) {
  SettingsReader read(store);
  int32_t edge = 0;
  if (!read.Value("PX", edge)) return false;
  move(std::clamp(edge, -kFarthestEdge, kFarthestEdge), pos().y());
  if (!read.Value("PY", edge)) return false;
  move(pos().x(), std::clamp(edge, -kFarthestEdge, kFarthestEdge));

  if (!read.Position("NREF", UpDown2) || !read.Position("CAN", UpDown1)) return false;
  if (!read.Index("CRF0", ComboBox5) || !read.Index("CRF1", ComboBox6) ||
      !read.Index("CRF2", ComboBox1) || !read.Index("CRF3", ComboBox2) ||
      !read.Index("CRF4", ComboBox7) || !read.Index("CRF5", ComboBox8))
    return false;
  if (!read.Position("THR1", UpDown5) || !read.Position("THR2", UpDown3) ||
      !read.Position("TTIME", UpDown4))
    return false;
  // "4 voices" is not stored: the variant switch below checks it when "3 voices" is off.
  if (!read.Checked("WPFL", CheckBox25) || !read.Checked("CTRL", RadioButton3) ||
      !read.Checked("MONO", RadioButton2) || !read.Checked("POLY", RadioButton1) ||
      !read.Checked("MODEL", RadioButton4))
    return false;
  if (!read.Index("GREF1", ComboBox3) || !read.Index("GREF2", ComboBox4) ||
      !read.Index("GREF3", ComboBox9) || !read.Index("GREF4", ComboBox10))
    return false;
  if (!read.Position("GNOT1", UpDown14) || !read.Position("GNOT2", UpDown15) ||
      !read.Position("GNOT3", UpDown16) || !read.Position("GNOT4", UpDown17))
    return false;
  if (!read.Position("GLEV1", UpDown11) || !read.Position("GLEV2", UpDown9) ||
      !read.Position("GLEV3", UpDown13) || !read.Position("GLEV4", UpDown12))
    return false;

  lbNote->SetCaption(NoteName(UpDown6->Position(), UpDown2->Position()));

  // The setters check the boxes through their handlers; SetConfigByte0 also selects
  // the divider button from the divider field, still at its initial value here.
  const auto flagByte = [&read](const char* name, const auto& set) {
    int32_t flags = 0;
    if (!read.Value(name, flags)) return false;
    set(flags);
    return true;
  };
  if (!flagByte("CFG0", [this](int b) { SetConfigByte0(b); }) ||
      !flagByte("CFG1", [this](int b) { SetConfigByte1(b); }) ||
      !flagByte("CFG2", [this](int b) { SetConfigByte2(b); }) ||
      !flagByte("CFG3", [this](int b) { SetConfigByte3(b); }) ||
      !flagByte("CFG4", [this](int b) { SetConfigByte4(b); }))
    return false;

  // Real-time sending comes back only now, so nothing above has sent anything.
  if (!read.Checked("MIDIRT", CheckBox26)) return false;
  ComboBox7->setEnabled(!CheckBox19->Checked());
  ComboBox8->setEnabled(!CheckBox18->Checked());

  // With real-time sending on, the play mode and a divider other than 24 go to the
  // interface. A port that cannot send shows its error once and the load goes on:
  // stopping here would let the next close save defaults over the stored values.
  SendErrorReport report;
  report.Run([this] {
    if (RadioButton1->Checked())
      RadioButton1Click(RadioButton1);
    else if (RadioButton2->Checked())
      RadioButton2Click(RadioButton2);
    else if (RadioButton3->Checked())
      RadioButton3Click(RadioButton3);
  });

  if (!read.Position("SPD", UpDown10) || !read.Position("DIV", UpDown8)) return false;
  report.Run([this] { CheckDividerButton(); });

  const bool startStop = CheckBox22->Checked();
  ComboBox7->setEnabled(!startStop);
  CheckBox19->setEnabled(!startStop);
  TrackBar5->setEnabled(!startStop);
  RadioButton4Click(RadioButton4);
  Label15->SetCaption(NoteName(UpDown2->Position(), 0));
  UpdateGateControls();
  ComboBox2->setEnabled(!CheckBox23->Checked());
  ComboBox1->setEnabled(!CheckBox24->Checked());
  ComboBox6->setEnabled(!CheckBox9->Checked());
  return true;
}
