#include <gtest/gtest.h>

#include <QApplication>

// Widget tests need an application object; they run offscreen unless a display
// is asked for (QT_QPA_PLATFORM=xcb to watch them).
int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("TQX512 Config");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
