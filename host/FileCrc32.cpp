#include "host/FileCrc32.h"

#include <QFile>

#include <array>

namespace {
constexpr std::array<uint32_t, 256> MakeTable() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}
constexpr std::array<uint32_t, 256> kTable = MakeTable();
constexpr qint64 kChunk = 32768;
}  // namespace

uint32_t Crc32Update(uint32_t crc, QByteArrayView data) {
  for (const char byte : data) crc = kTable[(crc ^ static_cast<uint8_t>(byte)) & 0xFF] ^ (crc >> 8);
  return crc;
}

uint32_t Crc32(QByteArrayView data) { return Crc32Final(Crc32Update(kCrc32Initial, data)); }

std::optional<uint32_t> FileCrc32(const QString& fileName) {
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  uint32_t crc = kCrc32Initial;
  while (!file.atEnd()) {
    const QByteArray chunk = file.read(kChunk);
    if (chunk.isEmpty() && file.error() != QFileDevice::NoError) return std::nullopt;
    crc = Crc32Update(crc, chunk);
  }
  return Crc32Final(crc);
}
