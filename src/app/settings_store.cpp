#include "app/settings_store.h"

#include <QSettings>
#include <QVariant>
#include <limits>

namespace {
SettingsStore::Maker& InstalledMaker() {
  static SettingsStore::Maker maker;
  return maker;
}
}  // namespace

std::unique_ptr<SettingsStore> SettingsStore::Connect() {
  if (InstalledMaker()) return InstalledMaker()();
  return std::make_unique<QtSettingsStore>();
}

void SettingsStore::Install(Maker maker) { InstalledMaker() = std::move(maker); }

QtSettingsStore::QtSettingsStore() = default;
QtSettingsStore::~QtSettingsStore() { Close(); }

bool QtSettingsStore::Open(bool create) {
  key_ = std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, "Velmont",
                                     "TQX512-4voice");
  // Only the editor's own store: not the maker's or the system's files beside it.
  key_->setFallbacksEnabled(false);
  const bool usable = key_->status() == QSettings::NoError;
  const bool opened =
      create ? usable && key_->isWritable() : usable && !key_->allKeys().isEmpty();
  if (!opened) key_.reset();
  return opened;
}

bool QtSettingsStore::WriteInteger(const char* name, int32_t value) {
  if (!key_) return false;
  key_->setValue(QString::fromLatin1(name), value);
  return key_->status() == QSettings::NoError;
}

bool QtSettingsStore::ReadInteger(const char* name, int32_t& value) {
  if (!key_) return false;
  const QVariant stored = key_->value(QString::fromLatin1(name));
  if (!stored.isValid()) return false;
  // The registry hands a DWORD back as a number; the Linux file as its text.
  if (stored.typeId() == QMetaType::UInt) {
    value = static_cast<int32_t>(stored.toUInt());
    return true;
  }
  if (stored.typeId() != QMetaType::Int && stored.typeId() != QMetaType::QString) return false;
  bool ok = false;
  const qlonglong number = stored.toString().toLongLong(&ok);
  if (!ok || number < std::numeric_limits<int32_t>::min() ||
      number > std::numeric_limits<int32_t>::max())
    return false;
  value = static_cast<int32_t>(number);
  return true;
}

bool QtSettingsStore::WriteString(const char* name, const std::string& value) {
  if (!key_) return false;
  key_->setValue(QString::fromLatin1(name), QString::fromStdString(value));
  return key_->status() == QSettings::NoError;
}

bool QtSettingsStore::ReadString(const char* name, std::string& value) {
  if (!key_) return false;
  const QVariant stored = key_->value(QString::fromLatin1(name));
  if (stored.typeId() != QMetaType::QString) return false;
  value = stored.toString().toStdString();
  return true;
}

// Releasing the key writes what was set; a failing write leaves the old file whole.
void QtSettingsStore::Close() { key_.reset(); }
