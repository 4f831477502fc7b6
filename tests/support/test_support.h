#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace testing_support {

// Bytes as the wire shows them: "F0 70 7B 00 29 05 0A F7".
std::string Hex(const std::vector<uint8_t>& bytes);
std::string Hex(const uint8_t* bytes, size_t count);

// Where tests leave screenshots and other files worth looking at:
// <build>/screenshots, or $TQX_ARTIFACTS when set.
std::filesystem::path ArtifactDir();

// The current backend's device generation once it has stopped moving: the
// notices of ports a test has just made are in.
unsigned long SettledDeviceGeneration();

}  // namespace testing_support
