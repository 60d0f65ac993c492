// The scanner reads what the user typed into the address and port fields: the input is a format
// and a text, split at the first NUL byte, scanned into targets of every kind.
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstring>

#include "core/UtilUnit.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const char* text = reinterpret_cast<const char*>(data);
  const void* nul = std::memchr(data, 0, size);
  const size_t split = nul ? static_cast<size_t>(static_cast<const uint8_t*>(nul) - data) : size;
  const QString format = QString::fromUtf8(text, static_cast<qsizetype>(split));
  const QString input =
      split < size ? QString::fromUtf8(text + split + 1, static_cast<qsizetype>(size - split - 1))
                   : QString();
  int32_t a = 0, b = 0;
  long double f = 0;
  QString s, t;
  ScanFormatted(input, format, {&a, &f, &s, &b, &t});
  // The program's own use: a dotted address.
  int32_t o[4] = {};
  ScanFormatted(input, QStringLiteral("%d.%d.%d.%d"), {&o[0], &o[1], &o[2], &o[3]});
  return 0;
}
