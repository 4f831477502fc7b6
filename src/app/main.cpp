#include <QApplication>

#include "app/startup.h"

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  QApplication::setApplicationName("TQX512 Config");
  QApplication::setOrganizationName("Velmont");
  return RunEditor(app);
}
