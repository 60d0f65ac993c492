#pragma once
// Checksums of the serial framings: CRC-16/MODBUS for RTU and the LRC for ASCII.

#include <cstdint>

// CRC-16/MODBUS (reflected 0xA001, start 0xFFFF) by the two-table method of the serial line
// standard. The result goes on the wire low byte first.
uint16_t KRCRC16(const uint8_t* aData, int32_t aLen);

// Two's complement of the 8-bit sum of the bytes.
uint8_t KRLRC(const uint8_t* aData, int32_t aLen);
