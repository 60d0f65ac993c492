#include "cli/Units.h"

#include "core/RegisterMap.h"
#include "core/UtilUnit.h"

#include <array>
#include <cmath>

namespace {
uint64_t PowerOfTen(int aExponent) {
  uint64_t p = 1;
  for (int i = 0; i < aExponent; ++i) p *= 10;
  return p;
}

std::optional<uint32_t> Units(double aValue, double aUnitsPerOne) {
  const double units = std::round(aValue * aUnitsPerOne);
  if (!std::isfinite(units) || units < 0 || units > 0xFFFF) return std::nullopt;
  return static_cast<uint32_t>(units);
}
}  // namespace

QString DecimalText(uint64_t aValue, int aDecimals) {
  if (aDecimals <= 0) return QString::number(aValue);
  const uint64_t scale = PowerOfTen(aDecimals);
  return QString("%1.%2").arg(aValue / scale).arg(aValue % scale, aDecimals, 10, QChar('0'));
}

QString VoltsText(uint32_t aUnits) { return DecimalText(aUnits, 2); }
double Volts(uint32_t aUnits) { return aUnits / 100.0; }

int CurrentDecimals() { return CurrentDivider == 10 ? 3 : 2; }
QString AmpsText(uint32_t aUnits) { return DecimalText(aUnits, CurrentDecimals()); }
double Amps(uint32_t aUnits) { return aUnits / (100.0 * CurrentDivider); }

QString WattsText(uint32_t aUnits) { return DecimalText(aUnits, 2); }
double Watts(uint32_t aUnits) { return aUnits / 100.0; }

uint32_t PowerOf(uint32_t aVoltageUnits, uint32_t aCurrentUnits) {
  return static_cast<uint32_t>(MulDiv(static_cast<int32_t>(aVoltageUnits),
                                      static_cast<int32_t>(aCurrentUnits), CurrentDivider * 100));
}

std::optional<uint32_t> VoltageUnits(double aVolts) { return Units(aVolts, 100.0); }
std::optional<uint32_t> CurrentUnits(double aAmps) { return Units(aAmps, 100.0 * CurrentDivider); }

QString PresetName(uint32_t aPreset) {
  const uint32_t m = Reg::NormalisedPreset(aPreset);
  return m < 10 ? QString("M%1").arg(m) : QString("C%1").arg(m - 10);
}

QString FirmwareClassName(TVersion aClass) {
  static const std::array<const char*, 7> kNames{"ver_18", "ver_36", "ver_40", "ver_4Z",
                                                 "ver_42", "ver_43", "ver_New"};
  return kNames[static_cast<size_t>(aClass)];
}

QString DurationText(uint32_t aSeconds) {
  return QString("%1:%2:%3")
      .arg(aSeconds / 3600)
      .arg(aSeconds / 60 % 60, 2, 10, QChar('0'))
      .arg(aSeconds % 60, 2, 10, QChar('0'));
}
