#include "support/test_support.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

#include "midi/platform/midi_backend.h"

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

unsigned long SettledDeviceGeneration() {
  unsigned long generation;
  do {
    generation = CurrentMidiBackend().DeviceGeneration();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  } while (CurrentMidiBackend().DeviceGeneration() != generation);
  return generation;
}

}  // namespace testing_support
