#pragma once

// Byte-level file helpers shared by every load and save of the editor.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace files {

// What a read of a whole file found.
struct ReadOutcome {
  std::vector<uint8_t> bytes;  // at most the limit
  bool more = false;           // the file holds more than the limit
  std::string error;           // the system's reason when the read failed; bytes then empty
  bool cancelled = false;      // a signal came and `cancel` said to stop
};

// Reads up to `limit` bytes from an open descriptor (standard input included),
// retrying reads a signal broke off unless `cancel` says to stop.
ReadOutcome ReadFrom(int fd, std::size_t limit, const std::function<bool()>& cancel = {});
// The same for the file at `path`; a folder fails with the system's "Is a directory".
ReadOutcome ReadFile(const std::string& path, std::size_t limit,
                     const std::function<bool()>& cancel = {});

// Reads the first `count` bytes of the file at `path` into `out`. False when the
// file cannot be opened or holds fewer bytes; `out` is then left untouched.
// Bytes after the first `count` are never read.
bool ReadFileBytes(const std::string& path, std::size_t count, std::vector<uint8_t>& out);

// The file a save writes for the path the user chose: the path itself when its
// file name has an extension (from the last "." on), else the path plus
// `defaultExtension` (".3CV", ".TQC", ".SYX").
std::string SaveTarget(const std::string& chosenPath, const std::string& defaultExtension);

// The backup name of `target`: its file name without the extension, plus ".BAK",
// in the same folder.
std::string BackupPath(const std::string& target);

// When `target` exists, renames it to BackupPath(target). When that name is taken
// the rename does not happen: the older backup stays and the target will simply
// be overwritten. True when the target was renamed.
bool MakeBackup(const std::string& target);

// Writes `bytes` to a temporary file in the target's folder, then puts it in
// place of `target` in one step. False when any part fails; the target is then
// exactly as it was, and no temporary file stays behind.
bool WriteFileAtomically(const std::string& target, const std::vector<uint8_t>& bytes);

// A whole save: MakeBackup, then WriteFileAtomically. When the write fails, the
// file this save renamed goes back to its name, so the folder is as it was. A
// target that exists and is not a regular file (a folder) fails at once and
// nothing is moved.
bool SaveWithBackup(const std::string& target, const std::vector<uint8_t>& bytes);

}  // namespace files
