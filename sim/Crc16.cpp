#include "sim/Crc16.h"

namespace kpxsim {

uint16_t ModbusCrc(std::span<const uint8_t> bytes) {
  uint16_t crc = 0xFFFF;
  for (uint8_t b : bytes) {
    crc ^= b;
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
  }
  return crc;
}

bool HasValidCrc(std::span<const uint8_t> frame) {
  if (frame.size() < 3) return false;
  const uint16_t crc = ModbusCrc(frame.first(frame.size() - 2));
  return frame[frame.size() - 2] == (crc & 0xFF) && frame[frame.size() - 1] == (crc >> 8);
}

}  // namespace kpxsim
