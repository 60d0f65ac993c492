#pragma once
// CRC-32 of IEEE 802.3 (reflected polynomial 0xEDB88320, initial value 0xFFFFFFFF, final
// complement), the checksum that guards the files the program reloads.

#include <QByteArrayView>
#include <QString>

#include <cstdint>
#include <optional>

// Continues a running checksum over data; start with kCrc32Initial, finish with Crc32Final.
inline constexpr uint32_t kCrc32Initial = 0xFFFFFFFFu;
uint32_t Crc32Update(uint32_t crc, QByteArrayView data);
inline uint32_t Crc32Final(uint32_t crc) { return ~crc; }

uint32_t Crc32(QByteArrayView data);
// Checksum of the whole file, read in chunks of 32768 bytes; nothing when it cannot be read.
std::optional<uint32_t> FileCrc32(const QString& fileName);
