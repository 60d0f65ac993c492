#include "advanced/CalibText.h"

#include <array>
#include <utility>

QString FormatCalibValue(uint32_t aValue, uint32_t aPointPos) {
  if (aValue > 99999) return QStringLiteral("-----");
  const auto digit = [aValue](uint32_t weight) { return QChar('0' + aValue / weight % 10); };
  QString text;
  const uint32_t top = aValue / 10000;
  text += top == 0 && aPointPos < 5 ? QChar(' ') : digit(10000);
  if (aPointPos == 5) text += '.';
  text += digit(1000);
  if (aPointPos == 4) text += '.';
  text += digit(100);
  text += digit(10);
  text += digit(1);
  return text;
}

QStringList IoutHighItems(uint32_t aModel) {
  switch (aModel) {
    case 3003:
      return {"3A", "2A"};
    case 3005:
    case 5005:
    case 8005:
      return {"5A", "3A", "2A"};
    // The 6012 has the 3012's 12 A output stage.
    case 3012:
    case 6012:
      return {"10A", "8A", "5A", "3A"};
    case 5015:
      return {"15A", "10A", "8A", "5A", "3A"};
    case 5020:
      return {"20A", "15A", "10A", "8A", "5A", "3A"};
    default:
      return {};
  }
}

uint16_t IoutHighCurrent(const QString& aItem) {
  static constexpr std::array<std::pair<const char*, uint16_t>, 7> kCurrents{{
      {"2A", 200}, {"3A", 300}, {"5A", 500}, {"8A", 800}, {"10A", 1000}, {"15A", 1500}, {"20A", 2000}}};
  for (const auto& [text, current] : kCurrents)
    if (aItem == QLatin1String(text)) return current;
  return 0;
}
