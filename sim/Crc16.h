#pragma once
// CRC-16 of Modbus RTU frames (polynomial 0xA001 reflected, start 0xFFFF).

#include <cstdint>
#include <span>

namespace kpxsim {

uint16_t ModbusCrc(std::span<const uint8_t> bytes);

// True when the last two bytes are the CRC of the bytes before them, low byte first.
bool HasValidCrc(std::span<const uint8_t> frame);

}  // namespace kpxsim
