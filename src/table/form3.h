#pragma once

#include <QDialog>

#include "ui/controls.h"
#include "ui/edit.h"
#include "ui/up_down.h"

// The table generator: a modeless dialog beside the main window that fills a
// range of the note table with a straight line. It lives for the whole run and is
// only shown and hidden, so its fields keep their values between uses.
class TForm3 : public QDialog {
 public:
  explicit TForm3(QWidget* parent = nullptr);

  // Fills entries Nmin..Nmax of the main window's note table with the line from
  // Amin to Amax; the other entries keep their values.
  void GenerateTable(int Amin, int Amax, int Nmax, int Nmin);

  void bbOKClick(TObject* Sender);  // generates and redraws; the window stays open
  void bbNOClick(TObject* Sender);  // hides the window
  void NfullClick(TObject* Sender);  // notes 0..47
  void AfullClick(TObject* Sender);  // amplitudes 0..255

  // "Notes": the range of note indices.
  TGroupBox* GroupBox1;
  TLabel* Label7;
  TEdit* edNmin;
  TUpDown* udNmin;
  TLabel* Label8;
  TEdit* edNmax;
  TUpDown* udNmax;
  TButton* Button1;  // Full Range
  // "Amplitude": the values at the two ends of the range.
  TGroupBox* GroupBox3;
  TLabel* Label2;
  TEdit* edAmin;
  TUpDown* udAmin;
  TLabel* Label1;
  TEdit* edAmax;
  TUpDown* udAmax;
  TButton* Button2;  // Full Range
  TButton* bbOK;  // default button: Enter presses it
  TButton* bbNO;  // cancel button: Escape presses it

 protected:
  // Escape and the close button of the caption do what Cancel does.
  void reject() override;
};

extern TForm3* Form3;
