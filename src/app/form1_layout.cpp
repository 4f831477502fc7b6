// Builds the main window's controls in their initial state.
#include <QStyle>
#include <QTabWidget>

#include "app/about_picture.h"
#include "app/button_glyphs.h"
#include "app/form1.h"
#include "table/table_chart.h"
#include "ui/user_handler.h"

namespace {

constexpr int kRowHeight = 24;

TLabel* MakeLabel(QWidget* parent, const QString& caption, int x, int y, int w = -1) {
  auto* label = new TLabel(caption, parent);
  label->move(x, y);
  if (w > 0) label->resize(w, 17);
  else label->adjustSize();
  return label;
}

TCheckBox* MakeCheckBox(QWidget* parent, const QString& caption, int x, int y, int w = 17) {
  auto* box = new TCheckBox(caption, parent);
  box->setGeometry(x, y, w, 17);
  return box;
}

TRadioButton* MakeRadio(QWidget* parent, const QString& caption, int x, int y, int w,
                        int tag = 0) {
  auto* button = new TRadioButton(caption, parent, tag);
  button->setGeometry(x, y, w, 17);
  return button;
}

TComboBox* MakeList(QWidget* parent, int x, int y, int w) {
  auto* list = new TComboBox(parent);
  list->setGeometry(x, y, w, 21);
  return list;
}

// An edit box with its up-down at its right edge.
TUpDown* MakeNumber(QWidget* parent, TEdit*& edit, int x, int y, int w, int min, int max,
                    int position) {
  edit = new TEdit(parent);
  edit->setGeometry(x, y, w, 21);
  auto* upDown = new TUpDown(parent, min, max, position);
  upDown->Associate(edit);
  return upDown;
}

TTrackBar* MakeSlider(QWidget* parent, int x, int y, int w, int h, int min, int max,
                      int position, Qt::Orientation orientation = Qt::Vertical) {
  auto* slider = new TTrackBar(orientation, parent, min, max, position);
  slider->setGeometry(x, y, w, h);
  return slider;
}

TGroupBox* MakeGroup(QWidget* parent, const QString& caption, int x, int y, int w, int h) {
  auto* group = new TGroupBox(caption, parent);
  group->setGeometry(x, y, w, h);
  return group;
}

QWidget* MakePage(QTabWidget* tabs, const QString& caption, bool panel) {
  auto* page = new QWidget;
  tabs->addTab(page, caption);
  if (panel) {
    auto* fill = new TPanel(page);
    fill->setGeometry(0, 0, 772, 452);
  }
  return page;
}

}  // namespace

void TForm1::BuildMidiTab() {
  QWidget* page = TabMidi;

  int y = 8;
  auto speed = [&](Glyph glyph, const QString& hint) {
    auto* button = new TSpeedButton(page, ButtonGlyph(glyph), hint);
    button->setGeometry(6, y, 30, 30);
    y += 36;
    return button;
  };
  SpeedButton5 = speed(Glyph::OpenConfig, "Open Config");
  SpeedButton6 = speed(Glyph::SaveConfig, "Save Config");
  SpeedButton4 = speed(Glyph::SaveSysex, "Save Config");
  SpeedButton8 = speed(Glyph::WriteFlash, "Send 'Write to Flash'");
  SpeedButton7 = speed(Glyph::SendConfig, "Send Config to MIDI");

  // Play Mode
  GroupBox7 = MakeGroup(page, "Play Mode", 44, 6, 330, 122);
  RadioButton2 = MakeRadio(GroupBox7, "Monophonic", 10, 22, 100);
  RadioButton1 = MakeRadio(GroupBox7, "Polyphonic", 10, 46, 100);
  RadioButton3 = MakeRadio(GroupBox7, "Controlers", 10, 70, 100);
  CheckBox16 = MakeCheckBox(GroupBox7, "Retrigg", 10, 96, 90);
  CheckBox17 = MakeCheckBox(GroupBox7, "4 Voices", 112, 96, 90);
  MakeLabel(GroupBox7, "Channel", 130, 24);
  UpDown1 = MakeNumber(GroupBox7, EditMidi, 200, 20, 40, 1, 16, 1);
  MakeLabel(GroupBox7, "Base Note", 130, 52);
  UpDown2 = MakeNumber(GroupBox7, EditNREF, 200, 48, 40, 0, 127, 24);
  Label15 = MakeLabel(GroupBox7, "C-1", 262, 52, 50);
  RadioButton2->SetChecked(true);

  // CV outputs
  GroupBox3 = MakeGroup(page, "CV ", 44, 134, 330, 142);
  Label25 = MakeLabel(GroupBox3, "PB  Velo", 186, 18);
  Label21 = MakeLabel(GroupBox3, "Tab  +5V   Inv  ", 240, 18);
  const int cvX[5] = {190, 215, 244, 272, 300};  // PB, Velo, Tab, +5V, Inv
  auto cvRow = [&](int row, TLabel*& label, TComboBox*& list) {
    const int top = 36 + row * kRowHeight;
    label = MakeLabel(GroupBox3, QString::number(row + 1), 10, top + 2, 12);
    list = MakeList(GroupBox3, 24, top, 156);
    return top + 2;
  };
  int top = cvRow(0, Label2, ComboBox5);
  CheckBox7 = MakeCheckBox(GroupBox3, "", cvX[2], top);
  CheckBox6 = MakeCheckBox(GroupBox3, "", cvX[3], top);
  CheckBox3 = MakeCheckBox(GroupBox3, "", cvX[4], top);
  top = cvRow(1, Label10, ComboBox6);
  CheckBox9 = MakeCheckBox(GroupBox3, "", cvX[0], top);
  CheckBox8 = MakeCheckBox(GroupBox3, "", cvX[2], top);
  CheckBox5 = MakeCheckBox(GroupBox3, "", cvX[3], top);
  CheckBox2 = MakeCheckBox(GroupBox3, "", cvX[4], top);
  top = cvRow(2, Label6, ComboBox1);
  CheckBox24 = MakeCheckBox(GroupBox3, "", cvX[0], top);
  CheckBox10 = MakeCheckBox(GroupBox3, "", cvX[1], top);
  CheckBox15 = MakeCheckBox(GroupBox3, "", cvX[2], top);
  CheckBox4 = MakeCheckBox(GroupBox3, "", cvX[3], top);
  CheckBox1 = MakeCheckBox(GroupBox3, "", cvX[4], top);
  top = cvRow(3, Label14, ComboBox2);
  CheckBox23 = MakeCheckBox(GroupBox3, "", cvX[0], top);
  CheckBox11 = MakeCheckBox(GroupBox3, "", cvX[1], top);
  CheckBox14 = MakeCheckBox(GroupBox3, "", cvX[2], top);
  CheckBox13 = MakeCheckBox(GroupBox3, "", cvX[3], top);
  CheckBox12 = MakeCheckBox(GroupBox3, "", cvX[4], top);
  ComboBox5->setEnabled(false);
  CheckBox8->setEnabled(false);
  CheckBox15->setEnabled(false);
  CheckBox14->setEnabled(false);

  // Gate outputs
  GroupBox5 = MakeGroup(page, "Gate", 382, 6, 384, 186);
  Label40 = MakeLabel(GroupBox5, "Note", 214, 18);
  Label36 = MakeLabel(GroupBox5, "Level", 300, 18);
  Label37 = MakeLabel(GroupBox5, "Trigg", 346, 18);
  auto gateRow = [&](int row, TLabel*& label, TComboBox*& list) {
    const int rowTop = 34 + row * kRowHeight;
    label = MakeLabel(GroupBox5, QString::number(row + 1), 8, rowTop + 2, 12);
    list = MakeList(GroupBox5, 22, rowTop, 120);
    return rowTop;
  };
  auto noteGate = [&](int row, TLabel*& label, TComboBox*& list, TCheckBox*& noteBox,
                      TEdit*& noteEdit, TUpDown*& note, int initialNote, TLabel*& noteName,
                      TEdit*& levelEdit, TUpDown*& level, TCheckBox*& trigg) {
    const int rowTop = gateRow(row, label, list);
    noteBox = MakeCheckBox(GroupBox5, QString("Note %1").arg(row + 1), 148, rowTop + 2, 62);
    note = MakeNumber(GroupBox5, noteEdit, 212, rowTop, 34, 0, 127, initialNote);
    noteName = MakeLabel(GroupBox5, "C-1", 264, rowTop + 2, 34);
    level = MakeNumber(GroupBox5, levelEdit, 298, rowTop, 30, 0, 127, 64);
    trigg = MakeCheckBox(GroupBox5, "", 352, rowTop + 2);
  };
  noteGate(0, Label34, ComboBox3, CheckBox28, Edit13, UpDown14, 12, Label3, Edit8, UpDown11,
           CheckBox29);
  noteGate(1, Label35, ComboBox4, CheckBox27, Edit14, UpDown15, 0, Label8, Edit10, UpDown9,
           CheckBox30);
  noteGate(2, Label38, ComboBox9, CheckBox32, Edit15, UpDown16, 0, Label13, Edit11, UpDown13,
           CheckBox33);
  noteGate(3, Label39, ComboBox10, CheckBox31, Edit16, UpDown17, 0, Label19, Edit12, UpDown12,
           CheckBox34);
  top = gateRow(4, Label16, ComboBox7);
  CheckBox22 = MakeCheckBox(GroupBox5, "Start/Stop", 148, top + 2, 86);
  CheckBox19 = MakeCheckBox(GroupBox5, "Velo", 238, top + 2, 54);
  UpDown5 = MakeNumber(GroupBox5, Edit1, 298, top, 30, 0, 127, 64);
  CheckBox20 = MakeCheckBox(GroupBox5, "", 352, top + 2);
  top = gateRow(5, Label17, ComboBox8);
  midiclockCFG = MakeCheckBox(GroupBox5, "MIDI Clock", 148, top + 2, 86);
  CheckBox18 = MakeCheckBox(GroupBox5, "Velo", 238, top + 2, 54);
  UpDown3 = MakeNumber(GroupBox5, Edit2, 298, top, 30, 0, 127, 64);
  CheckBox21 = MakeCheckBox(GroupBox5, "", 352, top + 2);

  // Clock Divider, top to bottom
  GroupBox2 = MakeGroup(page, "Clock Divider", 382, 198, 190, 226);
  RadioButton96 = MakeRadio(GroupBox2, "1 bpm", 12, 22, 90, 96);
  RadioButton48 = MakeRadio(GroupBox2, "2 bpm", 12, 44, 90, 48);
  RadioButton24 = MakeRadio(GroupBox2, "4 bpm", 12, 66, 90, 24);
  RadioButton12 = MakeRadio(GroupBox2, "8 bpm", 12, 88, 90, 12);
  RadioButton7 = MakeRadio(GroupBox2, "16 bpm", 12, 110, 90, 6);
  RadioButton6 = MakeRadio(GroupBox2, "32 bpm", 12, 132, 90, 3);
  RadioButton8 = MakeRadio(GroupBox2, "Special", 12, 154, 90);
  MakeLabel(GroupBox2, "Divide by", 12, 190);
  UpDown8 = MakeNumber(GroupBox2, Edit7, 90, 186, 44, 1, 128, 24);
  RadioButton7->SetChecked(true);

  // Triggers
  GroupBox1 = MakeGroup(page, "Triggers", 580, 198, 186, 60);
  MakeLabel(GroupBox1, "Time", 12, 28);
  UpDown4 = MakeNumber(GroupBox1, Edit6, 60, 24, 44, 0, 255, 12);
}

void TForm1::BuildConfigTab() {
  QWidget* page = TabConfig;

  GroupBox4 = MakeGroup(page, "Devices", 10, 10, 360, 88);
  MakeLabel(GroupBox4, "In", 12, 28);
  cmbInput = MakeList(GroupBox4, 44, 24, 300);
  cmbInput->SetText("cmbInput");
  MakeLabel(GroupBox4, "Out", 12, 58);
  cmbOutput = MakeList(GroupBox4, 44, 54, 300);
  cmbOutput->SetText("cmbOutput");

  GroupBox11 = MakeGroup(page, "Hardware", 10, 108, 170, 72);
  RadioButton4 = MakeRadio(GroupBox11, "3 voices", 12, 22, 120);
  RadioButton5 = MakeRadio(GroupBox11, "4 voices", 12, 46, 120);
  RadioButton4->SetChecked(true);

  GroupBox9 = MakeGroup(page, "Device ID", 190, 108, 180, 72);
  ud_DeviceID = MakeNumber(GroupBox9, Edit5, 16, 32, 50, 1, 128, 1);

  GroupBox13 = MakeGroup(page, "Options", 10, 190, 360, 72);
  CheckBox25 = MakeCheckBox(GroupBox13, "Always send \"Write to Flash\" message", 12, 22, 330);
  CheckBox26 = MakeCheckBox(GroupBox13, "Send Parameters Change to MIDI in real time", 12, 46, 330);

  GroupBox6 = MakeGroup(page, "Test", 380, 10, 384, 330);
  auto* panel = new TPanel(GroupBox6);
  panel->setGeometry(8, 20, 368, 302);
  TGroupBox* cv = MakeGroup(panel, "CV 1..4", 8, 6, 160, 200);
  TrackBar7 = MakeSlider(cv, 10, 22, 30, 168, 0, 127, 64);
  TrackBar6 = MakeSlider(cv, 46, 22, 30, 168, 0, 127, 64);
  TrackBar2 = MakeSlider(cv, 82, 22, 30, 168, 0, 127, 64);
  TrackBar3 = MakeSlider(cv, 118, 22, 30, 168, 0, 127, 64);
  TrackBar7->setEnabled(false);
  TGroupBox* bend = MakeGroup(panel, "Pitch Bend", 176, 6, 76, 200);
  TrackBar9 = MakeSlider(bend, 22, 22, 30, 168, 0, 255, 127);
  TGroupBox* gates = MakeGroup(panel, "Gate 5/6", 260, 6, 100, 200);
  TrackBar5 = MakeSlider(gates, 14, 22, 30, 168, 0, 127, 64);
  TrackBar8 = MakeSlider(gates, 56, 22, 30, 168, 0, 127, 64);
  for (TTrackBar* slider : {TrackBar7, TrackBar6, TrackBar2, TrackBar3, TrackBar9, TrackBar5,
                            TrackBar8}) {
    slider->setPageStep(8);
    slider->setTickPosition(QSlider::TicksRight);
    slider->setTickInterval(slider == TrackBar9 ? 16 : 6);
  }
  TGroupBox* clock = MakeGroup(panel, "MIDI Clock", 8, 214, 352, 80);
  MakeLabel(clock, "Speed", 12, 36);
  UpDown10 = MakeNumber(clock, Edit9, 64, 32, 60, 1, 10000, 1);
  Button3 = new TButton("Run", clock);
  Button3->setGeometry(160, 30, 90, 26);
}

void TForm1::BuildTableTab() {
  QWidget* page = TabTable;
  TrackBar1 = MakeSlider(page, 2, 4, 30, 394, 0, 255, 0);
  TrackBar1->setPageStep(16);
  TrackBar1->setTickPosition(QSlider::TicksRight);
  TrackBar1->setTickInterval(4);
  // Position 0 at the top; keys and wheel move the thumb the way they point.
  TrackBar1->setInvertedAppearance(true);
  TrackBar1->setInvertedControls(true);

  Chart1 = new TableChartView(page);
  Series1 = Chart1->LineSeries();
  Series2 = Chart1->BarSeries();
  Chart1->setGeometry(36, 0, 736, 402);

  auto* panel = new TPanel(page);
  panel->setGeometry(0, 402, 772, 50);
  int x = 6;
  auto speed = [&](Glyph glyph, const QString& hint) {
    auto* button = new TSpeedButton(panel, ButtonGlyph(glyph), hint);
    button->setGeometry(x, 9, 32, 32);
    x += 36;
    return button;
  };
  SpeedButton1 = speed(Glyph::NewTable, "New Table");
  SpeedButton2 = speed(Glyph::OpenTable, "Open Table");
  SpeedButton3 = speed(Glyph::SaveTable, "Save Table");
  SpeedButton12 = speed(Glyph::SendTable, "Send Table to Interface");
  SpeedButton10 = speed(Glyph::Generator, "Generator");
  SpeedButton11 = speed(Glyph::View3D, "3D/2D");

  MakeLabel(panel, "Note", 240, 17);
  UpDown6 = MakeNumber(panel, Edit3, 276, 14, 40, 0, 47, 0);
  lbNote = MakeLabel(panel, "C#3", 340, 14, 60);
  lbNote->resize(60, 21);
  lbNote->setAlignment(Qt::AlignCenter);
  lbNote->setAutoFillBackground(true);
  QPalette notePalette = lbNote->palette();
  notePalette.setColor(QPalette::Window, Qt::black);
  notePalette.setColor(QPalette::WindowText, Qt::cyan);
  lbNote->setPalette(notePalette);
  QFont noteFont = lbNote->font();
  noteFont.setPixelSize(13);
  lbNote->setFont(noteFont);
  MakeLabel(panel, "DAC", 420, 17);
  UpDown7 = MakeNumber(panel, Edit4, 452, 14, 44, 0, 255, 0);
  BtnAutoTune = new TButton("Auto-tune", panel);
  BtnAutoTune->setGeometry(660, 12, 100, 26);
}

void TForm1::BuildAboutTab() {
  auto* picture = new AboutPicture(TabAbout);
  picture->setGeometry((772 - 500) / 2, (452 - 400) / 2, 500, 400);
}

void TForm1::BuildTabs() {
  PageControl1 = new QTabWidget(this);
  PageControl1->setGeometry(0, 0, 780, 484);
  TabMidi = MakePage(PageControl1, "MIDI", true);
  TabConfig = MakePage(PageControl1, "Config", true);
  TabTable = MakePage(PageControl1, "Table", false);
  TabAbout = MakePage(PageControl1, "About...", true);
  BuildMidiTab();
  BuildConfigTab();
  BuildTableTab();
  BuildAboutTab();
  PageControl1->setCurrentWidget(TabMidi);
}
