#include "core/ProtectionText.h"

#include <array>

QString ProtectionText(uint32_t code) {
  static const std::array<const char*, 12> kTexts{"Error", "OVP", "OCP", "OPP", "OTP", "OHP",
                                                  "BAT",   "END", "EVP", "ECP", "VIN", "EPR"};
  if (code < kTexts.size()) return QString::fromLatin1(kTexts[code]);
  return "E" + QString::number(code);
}
