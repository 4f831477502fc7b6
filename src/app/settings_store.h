#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QSettings;

// The per-user store that keeps the editor's settings between runs: named 32-bit
// integers under one key. Each use makes its own connection and closes it.
class SettingsStore {
 public:
  virtual ~SettingsStore() = default;
  // Opens the key; with create, a missing key is made. False when it cannot be
  // opened (on load: when nothing was ever saved).
  virtual bool Open(bool create) = 0;
  // False when the value cannot be written.
  virtual bool WriteInteger(const char* name, int32_t value) = 0;
  // False when the value is missing, not an integer, or outside 32 bits.
  virtual bool ReadInteger(const char* name, int32_t& value) = 0;
  // Texts beside the integers (the output device chosen). A store that keeps
  // integers only has none.
  virtual bool WriteString(const char* /*name*/, const std::string& /*value*/) { return false; }
  // False when the value is missing or not a text.
  virtual bool ReadString(const char* /*name*/, std::string& /*value*/) { return false; }
  virtual void Close() = 0;

  // A new connection: the editor's QSettings store, unless a test installed another.
  static std::unique_ptr<SettingsStore> Connect();
  using Maker = std::function<std::unique_ptr<SettingsStore>()>;
  // An empty maker restores the real store.
  static void Install(Maker maker);
};

// QSettings(NativeFormat, UserScope, "Velmont", "TQX512-4voice"): the registry key
// HKCU\Software\Velmont\TQX512-4voice on Windows, ~/.config/Velmont/TQX512-4voice.conf
// on Linux, values as plain integers.
class QtSettingsStore : public SettingsStore {
 public:
  QtSettingsStore();
  ~QtSettingsStore() override;
  bool Open(bool create) override;
  bool WriteInteger(const char* name, int32_t value) override;
  bool ReadInteger(const char* name, int32_t& value) override;
  bool WriteString(const char* name, const std::string& value) override;
  bool ReadString(const char* name, std::string& value) override;
  void Close() override;

 private:
  std::unique_ptr<QSettings> key_;  // open between Open and Close
};
