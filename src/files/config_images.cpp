#include "files/config_images.h"

#include "protocol/parameter_map.h"
#include "protocol/parameter_message.h"

TConfigFileImage ConfigFileImage(const TConfigRecord& record) {
  TConfigFileImage image{};
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(record[i] & 0xFF);
  return image;
}

std::vector<uint8_t> SysexDumpImage(const TConfigRecord& record, int device, bool writeToFlash) {
  std::vector<uint8_t> image;
  image.reserve((record.size() + 1) * sizeof(ParameterMessage));
  const auto append = [&](int parameter, int value) {
    const ParameterMessage message = BuildParameterMessage(device, parameter, value);
    image.insert(image.end(), message.begin(), message.end());
  };
  for (int i = 0; i < param::CONFIG_COUNT; ++i) append(param::CONFIG_FIRST + i, record[i]);
  if (writeToFlash) append(param::COMMAND, param::WRITE_TO_FLASH);
  return image;
}
