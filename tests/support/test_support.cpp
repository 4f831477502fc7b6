#include "support/test_support.h"

#include <cstdio>
#include <cstdlib>

namespace testing_support {

std::string Hex(const uint8_t* bytes, size_t count) {
  std::string text;
  char buffer[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(buffer, sizeof buffer, "%02X", bytes[i]);
    if (i) text += ' ';
    text += buffer;
  }
  return text;
}

std::string Hex(const std::vector<uint8_t>& bytes) { return Hex(bytes.data(), bytes.size()); }

std::filesystem::path ArtifactDir() {
  const char* dir = std::getenv("TQX_ARTIFACTS");
  std::filesystem::path path = dir && *dir ? dir : TQX_ARTIFACT_DIR;
  std::filesystem::create_directories(path);
  return path;
}

}  // namespace testing_support
