#include "app/IpAddress.h"

#include <QStringList>

#include "core/UtilUnit.h"

std::optional<uint32_t> IpTextToAddr(const QString& text) {
  int32_t n[4] = {};
  if (ScanFormatted(text, "%d.%d.%d.%d", {&n[0], &n[1], &n[2], &n[3]}) != 4) return std::nullopt;
  uint32_t addr = 0;
  for (int k = 3; k >= 0; --k) {
    if (n[k] < 0 || n[k] > 255) return std::nullopt;
    addr = addr * 256 + static_cast<uint32_t>(n[k]);
  }
  return addr;
}

namespace {
QString JoinOctets(uint32_t addr, int width) {
  QStringList octets;
  for (int k = 0; k < 4; ++k)
    octets << QString("%1").arg((addr >> (8 * k)) & 0xFF, width, 10, QChar('0'));
  return octets.join('.');
}
}  // namespace

QString IpAddrToText(uint32_t addr) { return JoinOctets(addr, 0); }
QString IpAddrToMaskText(uint32_t addr) { return JoinOctets(addr, 3); }
