#include <QApplication>

#include "app/startup.h"
#include "tune_ui/auto_tune_parts.h"
#include "ui/qt_dialogs.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("TQX512 Config");
  QApplication::setOrganizationName("Velmont");
  ui::QtDialogs dialogs;
  ui::Dialogs::Install(&dialogs);
  const tune_ui::AutoTuneParts audio = tune_ui::PlatformAutoTuneParts();
  tune_ui::AutoTuneParts::Install(&audio);
  return RunEditor(app);
}
