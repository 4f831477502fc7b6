#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QSettings>
#include <QTemporaryDir>
#include <cstdlib>
#include <string>

#include "support/jack_server.h"

// JACK's and PipeWire's libraries keep some memory until the process ends; the
// leak report is about ours. The same list, as a file, for the programs the tests
// start (a child reads LSAN_OPTIONS).
extern "C" const char* __lsan_default_suppressions() {
  return "leak:libjack.so\nleak:libpipewire-0.3.so\nleak:/spa-0.2/\n";
}

namespace {

// TQX_TEST_JACK=pipewire needs PipeWire's libjack, which the loader picks before
// main: the program starts itself again with it first in the library path.
void LoadPipeWireJackIfAsked(char** argv) {
  const char* chosen = std::getenv("TQX_TEST_JACK");
  if (!chosen || std::string(chosen) != "pipewire") return;
  const std::string libraries = testing_support::JackServer::kPipeWireJackLibraries;
  const char* path = std::getenv("LD_LIBRARY_PATH");
  const std::string current = path ? path : "";
  if (current.find(libraries) != std::string::npos) return;
  setenv("LD_LIBRARY_PATH", (libraries + (current.empty() ? "" : ":" + current)).c_str(), 1);
  execv("/proc/self/exe", argv);  // on failure the server check says what is wrong
}

}  // namespace

// Widget tests need an application object; they run offscreen unless a display
// is asked for (QT_QPA_PLATFORM=xcb to watch them).
int main(int argc, char** argv) {
  LoadPipeWireJackIfAsked(argv);
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  setenv("LSAN_OPTIONS", "suppressions=" TQX_LSAN_SUPPRESSIONS ":print_suppressions=0", 0);
  QApplication app(argc, argv);
  QApplication::setApplicationName("TQX512 Config");
  // Every window a test closes saves its settings: never into the user's own store.
  const QTemporaryDir settings;
  QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settings.path());
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
