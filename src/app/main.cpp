#include <QApplication>

#include "app/startup.h"
#include "ui/qt_dialogs.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("TQX512 Config");
  QApplication::setOrganizationName("Velmont");
  ui::QtDialogs dialogs;
  ui::Dialogs::Install(&dialogs);
  return RunEditor(app);
}
