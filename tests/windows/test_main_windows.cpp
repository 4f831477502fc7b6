#include <gtest/gtest.h>

#include <QApplication>

// The Windows test programs' main, under Wine. Widget tests run offscreen unless
// a platform is asked for. Settings go to the registry of the Wine prefix the
// tests run in, which is theirs alone (tests/windows/wine-run).
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("TQX512 Config");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
