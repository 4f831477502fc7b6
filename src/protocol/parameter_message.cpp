#include "protocol/parameter_message.h"

#include <cstdio>

ParameterMessage BuildParameterMessage(int device, int parameter, int value) {
  ParameterMessage message = {0xF0, 0x70, 0x7B, 0x00, 0x00, 0x00, 0x00, 0xF7};
  message[3] = static_cast<uint8_t>(device & 0x0F);
  message[4] = static_cast<uint8_t>(parameter & 0x7F);
  message[5] = static_cast<uint8_t>(value & 0x0F);
  message[6] = static_cast<uint8_t>((value & 0xF0) >> 4);
  return message;
}

std::string HexByte(uint8_t byte) {
  char text[4];
  std::snprintf(text, sizeof text, "%02X", byte);
  return text;
}

std::string HexBytes(const ParameterMessage& message) {
  std::string text;
  for (uint8_t byte : message) {
    if (!text.empty()) text += ' ';
    text += HexByte(byte);
  }
  return text;
}
