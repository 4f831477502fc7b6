#pragma once

#include <QWidget>

#include "table/cgauge.h"

// The progress window shown while a full transfer sends: a tool window without
// close button, filled by one gauge. It lives for the whole run and is only
// shown and hidden.
class TForm2 : public QWidget {
 public:
  explicit TForm2(QWidget* parent = nullptr);

  // Shows it, not modally, centred over the main window, and returns only once it
  // is on screen and painted: the caller then keeps the event loop busy.
  void Show();
  void Close();

  TCGauge* CGauge1;
};

extern TForm2* Form2;
