#pragma once

#include <QWidget>
#include <array>
#include <cstdint>
#include <functional>
#include <memory>

#include "midi/platform/device_info.h"
#include "table/note_table.h"
#include "ui/check_box.h"
#include "ui/combo_box.h"
#include "ui/controls.h"
#include "ui/dialogs.h"
#include "ui/edit.h"
#include "ui/radio_button.h"
#include "ui/timer.h"
#include "ui/tobject.h"
#include "ui/track_bar.h"
#include "ui/up_down.h"

class QTabWidget;
class TableChartView;
class TChartSeries;
class TMidiOutput;
class TMidiInput;
class SettingsStore;

// The main window. Its controls hold the whole configuration; every behaviour of
// the editor is a handler of one of them. Handlers are defined in the folder of
// the area they belong to.
class TForm1 : public QWidget, public TComponent {
 public:
  explicit TForm1(QWidget* parent = nullptr);
  ~TForm1() override;

  // Window events.
  void FormCreate(TObject* Sender);
  void FormClose(TObject* Sender);

  // Settings kept between runs: saved at every close, loaded once at start-up.
  void SaveSettings();
  void LoadSettings();
  // The output the user chose last, kept beside the settings: start-up opens it
  // when it is there. Nothing when the user never chose one.
  MidiDeviceInfo LoadChosenOutput();

  // Hardware variant switch ("3 voices" / "4 voices").
  void RadioButton4Click(TObject* Sender);

  // Builds and sends one parameter message, then waits 100 ms.
  // nearEnd, when given, runs once in the last moments of the wait: what must
  // happen before the next message (the gauge's repaint) then costs no time.
  void SendParameter(int device, int parameter, int value,
                     const std::function<void()>& nearEnd = {});
  // A full transfer: values as parameters first, first + 1, ... with the progress
  // window up (the gauge at index x progressStep), then "Write to Flash" when
  // CheckBox25 asks for it.
  void SendWithProgress(int firstParameter, const int* values, int count, int progressStep);

  // --- Configuration editor (src/config/) ---
  // The configuration record: the 32 values of parameters 32..63, read from the controls.
  std::array<int, 32> GetConfigRecord();
  // Flag bytes CFG0..CFG4 packed from the boxes and buttons, and set back into them
  // (each change runs the control's click handler, as a user's click would).
  int GetConfigByte0();
  int GetConfigByte1();
  int GetConfigByte2();
  int GetConfigByte3();
  int GetConfigByte4();
  void SetConfigByte0(int b);
  void SetConfigByte1(int b);
  void SetConfigByte2(int b);
  void SetConfigByte3(int b);
  void SetConfigByte4(int b);
  // Checks the divider preset that matches the divider field, otherwise "Special"
  // (a newly checked button runs its handler).
  void CheckDividerButton();
  // Fills the ten source lists with the 128 controller names, "none" selected.
  void FillControllerLists();
  void BtnSendConfigClick(TObject* Sender);  // Send Config to MIDI (full transfer)
  // Play modes; RadioButton1Click also serves "4 Voices".
  void RadioButton2Click(TObject* Sender);
  void RadioButton1Click(TObject* Sender);
  void RadioButton3Click(TObject* Sender);
  // Gates 1..4 enabled by the play mode; the four note names refreshed.
  void UpdateGateControls();
  // Live sending: each handler sends only while CheckBox26 is ticked.
  void SendTQXConfigByte(TObject* Sender);
  void SendTQXConfigByte1(TObject* Sender);
  void SendTQXConfigByte2(TObject* Sender);
  void SendTQXConfigByte3(TObject* Sender);
  void UpDown1Click(TObject* Sender);
  void UpDown2Click(TObject* Sender);
  void ComboBox5Change(TObject* Sender);
  void ComboBox6Change(TObject* Sender);
  void ComboBox1Change(TObject* Sender);
  void ComboBox2Change(TObject* Sender);
  void CheckBox10Click(TObject* Sender);
  void CheckBox11Click(TObject* Sender);
  void CheckBox9Click(TObject* Sender);
  void CheckBox24Click(TObject* Sender);
  void CheckBox23Click(TObject* Sender);
  void UpDown4Click(TObject* Sender);
  void RadioButton96Click(TObject* Sender);  // the six divider presets
  void RadioButton8Click(TObject* Sender);
  void UpDown8Click(TObject* Sender);
  void SpeedAsSysexClick(TObject* Sender);  // Send 'Write to Flash'
  void ComboBox3Change(TObject* Sender);
  void ComboBox4Change(TObject* Sender);
  void ComboBox9Change(TObject* Sender);
  void ComboBox10Change(TObject* Sender);
  void ComboBox7Change(TObject* Sender);
  void ComboBox8Change(TObject* Sender);
  void CheckBox28Click(TObject* Sender);
  void CheckBox27Click(TObject* Sender);
  void CheckBox32Click(TObject* Sender);
  void CheckBox31Click(TObject* Sender);
  void CheckBox29Click(TObject* Sender);  // the four gate 1..4 "Trigg" boxes
  void UpDown11Click(TObject* Sender);
  void UpDown9Click(TObject* Sender);
  void UpDown13Click(TObject* Sender);
  void UpDown12Click(TObject* Sender);
  void UpDown14Click(TObject* Sender);
  void UpDown15Click(TObject* Sender);
  void UpDown16Click(TObject* Sender);
  void UpDown17Click(TObject* Sender);
  void CheckBox22Click(TObject* Sender);
  void midiclockCFGClick(TObject* Sender);
  void CheckBox19Click(TObject* Sender);
  void CheckBox18Click(TObject* Sender);
  void UpDown5Changing(TObject* Sender, bool& AllowChange);
  void UpDown3Changing(TObject* Sender, bool& AllowChange);

  // --- Configuration files (src/files/): .TQC and the SysEx dump .SYX ---
  void SpeedButton5Click(TObject* Sender);  // Open Config
  void SpeedButton6Click(TObject* Sender);  // Save Config
  void SpeedButton4Click(TObject* Sender);  // save as SysEx dump
  // Each shows its own dialog and reports its own file errors.
  void SaveConfigFile();
  void LoadConfigFile();
  void SaveSysexFile();

  // --- Note table (src/table/) ---
  // Rebuilds both series of Chart1 from the note table.
  void RefreshTableChart();
  void TrackBarChange(TObject* Sender);
  void Edit3Change(TObject* Sender);
  void Edit4Change(TObject* Sender);
  void SpeedButton1Click(TObject* Sender);  // New Table
  void SpeedButton11Click(TObject* Sender);  // 3D/2D
  void SpeedButton2Click(TObject* Sender);  // Open Table
  void SpeedButton3Click(TObject* Sender);  // Save Table
  void LoadTableFile();
  void SaveTableFile();
  void SpeedButton12Click(TObject* Sender);  // Send Table to Interface
  // Sends the selected entry, only while CheckBox26 is ticked.
  void SendOneNoteTableSysex();
  void SpeedButton10Click(TObject* Sender);  // Generator
  const TNoteTable& NoteTable() const { return FNoteTable; }
  // A table made elsewhere (the auto-tune window) replaces the note table: the chart
  // follows as after "Open Table" and, while CheckBox26 is ticked, the interface
  // gets all 48 entries (never "Write to Flash").
  void TakeNoteTable(const TNoteTable& table);
  void BtnAutoTuneClick(TObject* Sender);  // opens the "Auto-tune" window

  // --- Output test panel (src/testpanel/) ---
  // Sliders: a control change on the controller of the output's source list, on
  // the channel of UpDown1; TrackBar9 sends pitch bend. Nothing is paced.
  void SendControlChange(uint8_t channel, uint8_t controller, uint8_t value);
  void SendPitchBend(uint8_t channel, uint8_t position);
  void TrackBar7Change(TObject* Sender);  // CV 1
  void TrackBar6Change(TObject* Sender);  // CV 2
  void TrackBar2Change(TObject* Sender);  // CV 3
  void TrackBar3Change(TObject* Sender);  // CV 4
  void TrackBar5Change(TObject* Sender);  // gate 5
  void TrackBar8Change(TObject* Sender);  // gate 6
  void TrackBar9Change(TObject* Sender);  // pitch bend
  // Clock generator: "Run"/"Start" sends FA and starts Timer1 at speed div 6 ms,
  // "Stop" sends FC; each tick sends F8.
  void Button3Click(TObject* Sender);
  void Timer1Timer(TObject* Sender);
  // Disables Timer1 and shows "Run" on Button3; sends nothing.
  void StopClockGenerator();

  // Start-up and shut-down: the MIDI device lists and the output port.
  void FillDeviceLists();
  void OpenMidiPorts();
  void CloseMidiPorts();
  // The user's choice of output: the port moves to that device.
  void cmbOutputChange(TObject* Sender);
  // cmbOutput shows the device MidiOutput1 is on.
  void ShowOutputInUse();
  // While the window is up, DeviceWatch looks whether the MIDI service's devices
  // changed; the lists are then filled anew, the devices in use still selected.
  void DeviceWatchTimer(TObject* Sender);
  void RefreshDeviceLists();

  // The MIDI output port; every byte sent to the interface passes through it.
  std::unique_ptr<TMidiOutput> MidiOutput1;
  // The MIDI input port: selected at start-up, never opened. Null when the system
  // has no input device.
  std::unique_ptr<TMidiInput> MidiInput1;
  // Clock generator timer of the test panel, disabled at start.
  TTimer* Timer1;
  TTimer* DeviceWatch;
  // File dialogs shared by every file operation; their settings persist between uses.
  ui::TOpenDialog OpenDialog1;
  ui::TSaveDialog SaveDialog1;

  QTabWidget* PageControl1;
  QWidget* TabMidi;
  QWidget* TabConfig;
  QWidget* TabTable;
  QWidget* TabAbout;

  // --- "MIDI" tab: file and transfer buttons ---
  TSpeedButton* SpeedButton5;  // Open Config
  TSpeedButton* SpeedButton6;  // Save Config
  TSpeedButton* SpeedButton4;  // saves the SysEx dump (its hint says "Save Config" too)
  TSpeedButton* SpeedButton8;  // Send 'Write to Flash'
  TSpeedButton* SpeedButton7;  // Send Config to MIDI

  // --- "Play Mode" ---
  TGroupBox* GroupBox7;
  TRadioButton* RadioButton2;  // Monophonic
  TRadioButton* RadioButton1;  // Polyphonic
  TRadioButton* RadioButton3;  // Controlers
  TCheckBox* CheckBox16;  // Retrigg
  TCheckBox* CheckBox17;  // 3 or 4 voices in polyphonic mode
  TEdit* EditMidi;
  TUpDown* UpDown1;  // MIDI channel 1..16
  TEdit* EditNREF;
  TUpDown* UpDown2;  // base note 0..127
  TLabel* Label15;  // name of the base note

  // --- "CV " outputs 1..4: source list and flag boxes (PB, Velo, Tab, +5V, Inv) ---
  TGroupBox* GroupBox3;
  TLabel* Label2;
  TLabel* Label10;
  TLabel* Label6;
  TLabel* Label14;  // "4": part of the fourth row that the 3-voice variant hides
  TLabel* Label25;
  TLabel* Label21;
  TComboBox* ComboBox5;  // CV 1 source
  TComboBox* ComboBox6;  // CV 2 source
  TComboBox* ComboBox1;  // CV 3 source
  TComboBox* ComboBox2;  // CV 4 source
  TCheckBox* CheckBox9;  // CV 2 PB
  TCheckBox* CheckBox24;  // CV 3 PB
  TCheckBox* CheckBox23;  // CV 4 PB
  TCheckBox* CheckBox10;  // CV 3 Velo
  TCheckBox* CheckBox11;  // CV 4 Velo
  TCheckBox* CheckBox7;  // CV 1 Tab
  TCheckBox* CheckBox8;  // CV 2 Tab
  TCheckBox* CheckBox15;  // CV 3 Tab
  TCheckBox* CheckBox14;  // CV 4 Tab
  TCheckBox* CheckBox6;  // CV 1 +5V
  TCheckBox* CheckBox5;  // CV 2 +5V
  TCheckBox* CheckBox4;  // CV 3 +5V
  TCheckBox* CheckBox13;  // CV 4 +5V
  TCheckBox* CheckBox3;  // CV 1 Inv
  TCheckBox* CheckBox2;  // CV 2 Inv
  TCheckBox* CheckBox1;  // CV 3 Inv
  TCheckBox* CheckBox12;  // CV 4 Inv

  // --- "Gate" outputs 1..6 ---
  TGroupBox* GroupBox5;
  TLabel* Label34;
  TLabel* Label35;
  TLabel* Label38;
  TLabel* Label39;
  TLabel* Label16;
  TLabel* Label17;
  TLabel* Label40;
  TLabel* Label36;
  TLabel* Label37;
  TComboBox* ComboBox3;  // gate 1 source
  TComboBox* ComboBox4;  // gate 2 source
  TComboBox* ComboBox9;  // gate 3 source
  TComboBox* ComboBox10;  // gate 4 source
  TComboBox* ComboBox7;  // gate 5 source
  TComboBox* ComboBox8;  // gate 6 source
  TCheckBox* CheckBox28;  // Note 1: gate 1 follows a note instead of a controller
  TCheckBox* CheckBox27;  // Note 2
  TCheckBox* CheckBox32;  // Note 3
  TCheckBox* CheckBox31;  // Note 4
  TCheckBox* CheckBox22;  // gate 5 Start/Stop
  TCheckBox* CheckBox19;  // gate 5 Velo
  TCheckBox* midiclockCFG;  // gate 6 MIDI Clock
  TCheckBox* CheckBox18;  // gate 6 Velo
  TEdit* Edit13;
  TUpDown* UpDown14;  // gate 1 note
  TEdit* Edit14;
  TUpDown* UpDown15;  // gate 2 note
  TEdit* Edit15;
  TUpDown* UpDown16;  // gate 3 note
  TEdit* Edit16;
  TUpDown* UpDown17;  // gate 4 note
  TLabel* Label3;  // gate 1 note name
  TLabel* Label8;
  TLabel* Label13;
  TLabel* Label19;
  TEdit* Edit8;
  TUpDown* UpDown11;  // gate 1 level
  TEdit* Edit10;
  TUpDown* UpDown9;  // gate 2 level
  TEdit* Edit11;
  TUpDown* UpDown13;  // gate 3 level
  TEdit* Edit12;
  TUpDown* UpDown12;  // gate 4 level
  TEdit* Edit1;
  TUpDown* UpDown5;  // gate 5 level
  TEdit* Edit2;
  TUpDown* UpDown3;  // gate 6 level
  TCheckBox* CheckBox29;  // gate 1 Trigg
  TCheckBox* CheckBox30;  // gate 2 Trigg
  TCheckBox* CheckBox33;  // gate 3 Trigg
  TCheckBox* CheckBox34;  // gate 4 Trigg
  TCheckBox* CheckBox20;  // gate 5 Trigg
  TCheckBox* CheckBox21;  // gate 6 Trigg

  // --- "Clock Divider": each preset carries its divider as Tag ---
  TGroupBox* GroupBox2;
  TRadioButton* RadioButton96;
  TRadioButton* RadioButton48;
  TRadioButton* RadioButton24;
  TRadioButton* RadioButton12;
  TRadioButton* RadioButton7;
  TRadioButton* RadioButton6;
  TRadioButton* RadioButton8;  // Special
  TEdit* Edit7;
  TUpDown* UpDown8;  // divider 1..128

  // --- "Triggers" ---
  TGroupBox* GroupBox1;
  TEdit* Edit6;
  TUpDown* UpDown4;  // trigger time 0..255

  // --- "Config" tab ---
  TGroupBox* GroupBox4;  // Devices
  TComboBox* cmbInput;
  TComboBox* cmbOutput;
  TGroupBox* GroupBox11;  // Hardware
  TRadioButton* RadioButton4;  // 3 voices
  TRadioButton* RadioButton5;  // 4 voices
  TGroupBox* GroupBox9;  // Device ID
  TEdit* Edit5;
  TUpDown* ud_DeviceID;  // 1..128; every message carries position - 1
  TGroupBox* GroupBox13;  // Options
  TCheckBox* CheckBox25;  // Always send "Write to Flash" message
  TCheckBox* CheckBox26;  // Send Parameters Change to MIDI in real time
  TGroupBox* GroupBox6;  // Test
  TTrackBar* TrackBar7;  // CV 1
  TTrackBar* TrackBar6;  // CV 2
  TTrackBar* TrackBar2;  // CV 3
  TTrackBar* TrackBar3;  // CV 4
  TTrackBar* TrackBar9;  // pitch bend
  TTrackBar* TrackBar5;  // gate 5
  TTrackBar* TrackBar8;  // gate 6
  TEdit* Edit9;
  TUpDown* UpDown10;  // test clock speed
  TButton* Button3;  // Run / Stop / Start

  // --- "Table" tab ---
  TTrackBar* TrackBar1;  // DAC value of the current note, upside down
  TableChartView* Chart1;
  TSpeedButton* SpeedButton1;  // New Table
  TSpeedButton* SpeedButton2;  // Open Table
  TSpeedButton* SpeedButton3;  // Save Table
  TSpeedButton* SpeedButton12;  // Send Table to Interface
  TSpeedButton* SpeedButton10;  // Generator
  TSpeedButton* SpeedButton11;  // 3D/2D
  TButton* BtnAutoTune;  // "Auto-tune": measures the oscillator and tunes the table
  TEdit* Edit3;
  TUpDown* UpDown6;  // note 0..47
  TLabel* lbNote;
  TEdit* Edit4;
  TUpDown* UpDown7;  // DAC value 0..255
  TChartSeries* Series1;  // the table as a line, hidden at start
  TChartSeries* Series2;  // the table as bars, shown at start

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void BuildTabs();
  void BuildMidiTab();
  void BuildConfigTab();
  void BuildTableTab();
  void BuildAboutTab();
  void CreatePorts();
  void ConnectHandlers();
  bool ApplySettings(SettingsStore& store);  // false: stopped at an unreadable value
  void SendSliderController(TComboBox* source, TTrackBar* slider);

  // Configuration editor helpers.
  void SendLiveParameter(int parameter, int value);  // only while CheckBox26 is ticked
  void SendSource(TComboBox* list, int parameter);  // only a source other than none
  void ApplyGate6Rule();

  // The note table: zeros at start, not kept between runs. The generator writes it.
  friend class TForm3;
  TNoteTable FNoteTable{};
  int FTableNote = 0;  // the selected entry: the last valid number in Edit3
  unsigned long FDeviceGeneration = 0;  // of the devices the lists show
  MidiDeviceInfo FChosenOutput;  // saved with the settings when the user chose one
};

extern TForm1* Form1;
