#include <gtest/gtest.h>

#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <QApplication>
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
    if (RegCreateKeyExW(HKEY_CURRENT_USER, path_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                        &key_, nullptr) != ERROR_SUCCESS ||
        RegOverridePredefKey(HKEY_CURRENT_USER, key_) != ERROR_SUCCESS) {
      ok_ = false;
    }
  }
  ~PrivateUserKey() {
    RegOverridePredefKey(HKEY_CURRENT_USER, nullptr);
    if (key_) RegCloseKey(key_);
    RegDeleteTreeW(HKEY_CURRENT_USER, path_.c_str());
  }
  bool Ok() const { return ok_; }

 private:
  std::wstring path_;
  HKEY key_ = nullptr;
  bool ok_ = true;
};

}  // namespace

// The Windows test programs' main, under Wine. Widget tests run offscreen unless
// a platform is asked for.
int main(int argc, char** argv) {
  const PrivateUserKey settings;
  if (!settings.Ok()) {
    std::fputs("cannot give the tests a registry key of their own\n", stderr);
    return 1;
  }
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  QApplication::setApplicationName("TQX512 Config");
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
