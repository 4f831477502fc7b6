#include "app/startup.h"

#include <QApplication>

#include "app/form1.h"
#include "midi/platform/backend_choice.h"
#include "midi/platform/midi_backend.h"
#include "table/form2.h"
#include "table/form3.h"
#include "ui/user_handler.h"

int RunEditor(QApplication& app) {
  try {
    SetMidiBackend(ChooseMidiBackend());
    Form1 = new TForm1;
    Form2 = new TForm2;
    Form3 = new TForm3;
    Form1->show();
    const int result = app.exec();
    delete Form3;
    delete Form2;
    delete Form1;
    SetMidiBackend(nullptr);
    return result;
  } catch (const std::exception& error) {
    ui::ShowException(error);
    return 1;
  }
}
