#include "files/file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QString>
#include <cerrno>
#include <cstring>

namespace files {

namespace {

QString ToQt(const std::string& path) { return QString::fromStdString(path); }

// Where the file name starts: after the last folder separator.
std::size_t FileNameStart(const std::string& path) {
#ifdef _WIN32
  const std::size_t slash = path.find_last_of("\\/:");
#else
  const std::size_t slash = path.find_last_of('/');
#endif
  return slash == std::string::npos ? 0 : slash + 1;
}

// Where the extension starts (its dot), or npos when the file name has none.
std::size_t ExtensionStart(const std::string& path) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || dot < FileNameStart(path)) return std::string::npos;
  return dot;
}

}  // namespace

ReadOutcome ReadFrom(int fd, std::size_t limit, const std::function<bool()>& cancel) {
  ReadOutcome outcome;
  struct stat info {};
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    outcome.error = std::strerror(EISDIR);
    return outcome;
  }
  std::vector<uint8_t> bytes(limit + 1);  // one more tells whether the file holds more
  std::size_t got = 0;
  while (got < bytes.size()) {
    const ssize_t n = ::read(fd, bytes.data() + got, bytes.size() - got);
    if (n == 0) break;
    if (n < 0) {
      if (errno == EINTR && !(cancel && cancel())) continue;
      if (errno == EINTR) {
        outcome.cancelled = true;
      } else {
        outcome.error = std::string("read error: ") + std::strerror(errno);
      }
      return outcome;
    }
    got += static_cast<std::size_t>(n);
  }
  outcome.more = got > limit;
  bytes.resize(std::min(got, limit));
  outcome.bytes = std::move(bytes);
  return outcome;
}

ReadOutcome ReadFile(const std::string& path, std::size_t limit,
                     const std::function<bool()>& cancel) {
#ifdef _WIN32
  // Names are UTF-8 here; Windows opens them by their UTF-16 form.
  const int fd = ::_wopen(ToQt(path).toStdWString().c_str(), O_RDONLY | O_BINARY);
#else
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
#endif
  if (fd < 0) {
    ReadOutcome outcome;
    outcome.error = std::strerror(errno);
    return outcome;
  }
  ReadOutcome outcome = ReadFrom(fd, limit, cancel);
  ::close(fd);
  return outcome;
}

bool ReadFileBytes(const std::string& path, std::size_t count, std::vector<uint8_t>& out) {
  ReadOutcome outcome = ReadFile(path, count);
  if (!outcome.error.empty() || outcome.bytes.size() < count) return false;
  out = std::move(outcome.bytes);
  return true;
}

std::string SaveTarget(const std::string& chosenPath, const std::string& defaultExtension) {
  if (ExtensionStart(chosenPath) == std::string::npos) return chosenPath + defaultExtension;
  return chosenPath;
}

std::string BackupPath(const std::string& target) {
  return target.substr(0, ExtensionStart(target)) + ".BAK";
}

bool MakeBackup(const std::string& target) {
  if (!QFile::exists(ToQt(target))) return false;
  // QFile::rename never replaces an existing file, which keeps the older backup.
  return QFile::rename(ToQt(target), ToQt(BackupPath(target)));
}

bool WriteFileAtomically(const std::string& target, const std::vector<uint8_t>& bytes) {
  QSaveFile file(ToQt(target));
  // Unbuffered, so that a short write shows here: QSaveFile does not notice a
  // write buffer that fails to flush, and would put the short file in place.
  if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered)) return false;
  const auto size = static_cast<qint64>(bytes.size());
  if (file.write(reinterpret_cast<const char*>(bytes.data()), size) != size) {
    file.cancelWriting();
    return false;
  }
  return file.commit();
}

bool SaveWithBackup(const std::string& target, const std::vector<uint8_t>& bytes) {
  // A folder (or a device) under the target's name is not ours to move away.
  const QFileInfo existing(ToQt(target));
  if (existing.exists() && !existing.isFile()) return false;
  const bool movedAway = MakeBackup(target);
  if (WriteFileAtomically(target, bytes)) return true;
  if (movedAway) QFile::rename(ToQt(BackupPath(target)), ToQt(target));
  return false;
}

}  // namespace files
