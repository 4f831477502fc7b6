#include "table/form3.h"

#include <QStyle>

#include "app/form1.h"
#include "table/generator.h"
#include "ui/user_handler.h"

TForm3* Form3 = nullptr;

namespace {

TUpDown* MakeNumber(QWidget* parent, TEdit*& edit, int x, int y, int min, int max,
                    int position) {
  edit = new TEdit(parent);
  edit->setGeometry(x, y, 44, 21);
  auto* upDown = new TUpDown(parent, min, max, position);
  upDown->Associate(edit);
  return upDown;
}

TLabel* MakeLabel(QWidget* parent, const QString& caption, int x, int y) {
  auto* label = new TLabel(caption, parent);
  label->move(x, y);
  label->adjustSize();
  return label;
}

TButton* MakeButton(QWidget* parent, const QString& caption, int x, int y, int w, int h) {
  auto* button = new TButton(caption, parent);
  button->setGeometry(x, y, w, h);
  button->setAutoDefault(false);
  return button;
}

}  // namespace

TForm3::TForm3(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowCloseButtonHint) {
  setWindowTitle("Table Generator");
  setFixedSize(222, 214);

  GroupBox1 = new TGroupBox("Notes", this);
  GroupBox1->setGeometry(8, 6, 206, 78);
  Label7 = MakeLabel(GroupBox1, "Min", 12, 25);
  udNmin = MakeNumber(GroupBox1, edNmin, 42, 22, 0, 47, 0);
  Label8 = MakeLabel(GroupBox1, "Max", 12, 51);
  udNmax = MakeNumber(GroupBox1, edNmax, 42, 48, 0, 47, 47);
  Button1 = MakeButton(GroupBox1, "Full Range", 112, 34, 84, 25);

  GroupBox3 = new TGroupBox("Amplitude", this);
  GroupBox3->setGeometry(8, 90, 206, 78);
  Label2 = MakeLabel(GroupBox3, "Min", 12, 25);
  udAmin = MakeNumber(GroupBox3, edAmin, 42, 22, 0, 255, 0);
  Label1 = MakeLabel(GroupBox3, "Max", 12, 51);
  udAmax = MakeNumber(GroupBox3, edAmax, 42, 48, 0, 255, 255);
  Button2 = MakeButton(GroupBox3, "Full Range", 112, 34, 84, 25);

  bbNO = MakeButton(this, "Annuler", 8, 178, 96, 28);
  bbNO->setIcon(style()->standardIcon(QStyle::SP_DialogCancelButton));
  bbOK = MakeButton(this, "OK", 118, 178, 96, 28);
  bbOK->setIcon(style()->standardIcon(QStyle::SP_DialogOkButton));
  bbOK->setDefault(true);

  bbOK->OnClick = [this](TObject* sender) { bbOKClick(sender); };
  bbNO->OnClick = [this](TObject* sender) { bbNOClick(sender); };
  Button1->OnClick = [this](TObject* sender) { NfullClick(sender); };
  Button2->OnClick = [this](TObject* sender) { AfullClick(sender); };
}

void TForm3::GenerateTable(int Amin, int Amax, int Nmax, int Nmin) {
  if (Form1) ::GenerateTable(Form1->FNoteTable, Amin, Amax, Nmax, Nmin);
}

// The up-downs' positions count, not the texts of their fields.
void TForm3::bbOKClick(TObject*) {
  GenerateTable(udAmin->Position(), udAmax->Position(), udNmax->Position(),
                udNmin->Position());
  if (Form1) Form1->RefreshTableChart();
}

void TForm3::bbNOClick(TObject*) { hide(); }

void TForm3::NfullClick(TObject*) {
  udNmin->SetPosition(udNmin->Min());
  udNmax->SetPosition(udNmax->Max());
}

void TForm3::AfullClick(TObject*) {
  udAmin->SetPosition(udAmin->Min());
  udAmax->SetPosition(udAmax->Max());
}

void TForm3::reject() {
  ui::RunUserHandler([this] { bbNOClick(bbNO); });
}

// "Generator": the generator window stands against the main window's right edge,
// tops aligned, and comes to the front.
void TForm1::SpeedButton10Click(TObject*) {
  const QRect frame = frameGeometry();
  Form3->move(frame.x() + frame.width(), frame.y());
  Form3->show();
  Form3->raise();
  Form3->activateWindow();
  RefreshTableChart();
}
