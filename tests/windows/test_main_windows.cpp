#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <QApplication>
#include <cstdio>
#include <string>

namespace {

// Every window a test closes saves its settings: never into the user's own store,
// and never into another test's. The process's HKEY_CURRENT_USER becomes a key of
// its own for the run, removed at the end.
class PrivateUserKey {
 public:
  PrivateUserKey() {
    path_ = L"Software\\TQX512 tests\\" + std::to_wstring(GetCurrentProcessId()) + L"-" +
            std::to_wstring(GetTickCount64());
    created_ = RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                               nullptr, &key_, nullptr);
    if (created_ == ERROR_SUCCESS) overridden_ = RegOverridePredefKey(HKEY_CURRENT_USER, key_);
  }
  ~PrivateUserKey() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (key_) RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }
  bool Ok() const { return created_ == ERROR_SUCCESS && overridden_ == ERROR_SUCCESS; }
  // Printed on standard output, which is what test discovery shows.
  void Report() const {
    std::printf("cannot give the tests a registry key of their own: create %ld, override %ld\n",
                created_, overridden_);
  }

 private:
  std::wstring path_;
  HKEY key_ = nullptr;
  LSTATUS created_ = ERROR_SUCCESS;
  LSTATUS overridden_ = ERROR_SUCCESS;
};

}  // namespace

// The Windows test programs' main, under Wine. Widget tests run offscreen unless
// a platform is asked for.
int main(int argc, char** argv) {
  const PrivateUserKey settings;
  if (!settings.Ok()) {
    settings.Report();
    return 1;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("TQX512 Config");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
