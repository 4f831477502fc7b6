#include "app/form1.h"

#include <QCloseEvent>
#include <QCoreApplication>

#include "midi/midi_input.h"
#include "midi/midi_output.h"
#include "table/form2.h"
#include "table/form3.h"
#include "ui/user_handler.h"

TForm1* Form1 = nullptr;

TForm1::TForm1(QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint) {
  setWindowTitle("TQX512 Config");
  setFixedSize(780, 484);
  Timer1 = new TTimer(this);
  DeviceWatch = new TTimer(this);
  DeviceWatch->SetInterval(500);

  OpenDialog1.FileName = "Table";
  OpenDialog1.Title = "Load TQX Note Table File";
  OpenDialog1.Filter =
      "TQX Note Table File|*.3CV;*.TQX|TQX Config File|*.TQC|All Files|*.*";
  SaveDialog1.FileName = "anonyme";
  SaveDialog1.Filter =
      "TQX Note Table file|*.3CV;*.TQX|TQX Config file|*.TQC|"
      "Sysex Binary files|*.SYS;*.SYX|All Files|*.*";

  BuildTabs();

  CreatePorts();
  ConnectHandlers();
  try {
    FormCreate(this);
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
}

TForm1::~TForm1() = default;

void TForm1::CreatePorts() {
  MidiOutput1 = std::make_unique<TMidiOutput>(this);
  // Without any input device the input port cannot select one; the editor never
  // reads its input, so it starts all the same.
  try {
    MidiInput1 = std::make_unique<TMidiInput>(this);
  } catch (const EMidiInputError&) {
  }
}

// Start-up steps, in order; an error ends them and is shown by the caller.
void TForm1::FormCreate(TObject*) {
  FillControllerLists();
  // A device error is shown, and the settings still load: otherwise the next close
  // would save the initial controls over the user's stored configuration.
  try {
    FillDeviceLists();
  } catch (const std::exception& error) {
    ui::ShowException(error);
  }
  LoadSettings();
}

// Shut-down steps; an error keeps the window open (the next close runs them again).
void TForm1::FormClose(TObject*) {
  SaveSettings();
  CloseMidiPorts();
}

void TForm1::closeEvent(QCloseEvent* event) {
  try {
    FormClose(this);
    event->accept();
    // The port is closed: no tick may try to send on it before the end.
    Timer1->SetEnabled(false);
    DeviceWatch->SetEnabled(false);
    // The program ends with its main window, the other windows with it.
    if (Form2) Form2->hide();
    if (Form3) Form3->hide();
    QCoreApplication::quit();
  } catch (const std::exception& error) {
    event->ignore();
    ui::ShowException(error);
  }
}
