#include "cli/ScpiValues.h"

#include <QRegularExpression>

#include <array>
#include <cmath>
#include <utility>

namespace {

[[noreturn]] void Refuse(int aCode, const char* aText) { throw TScpiRefusal{{aCode, aText}}; }

// A word in short or long form: "MIN" or "MINIMUM".
bool IsWord(const QString& aText, const char* aShort, const char* aLong) {
  const QString upper = aText.toUpper();
  return upper == aShort || upper == aLong;
}

std::optional<TScpiLimit> LimitOf(const QString& aText) {
  if (IsWord(aText, "MIN", "MINIMUM")) return TScpiLimit::Minimum;
  if (IsWord(aText, "MAX", "MAXIMUM")) return TScpiLimit::Maximum;
  if (IsWord(aText, "DEF", "DEFAULT")) return TScpiLimit::Default;
  return std::nullopt;
}

// The multipliers of IEEE 488.2.
constexpr std::array<std::pair<const char*, double>, 12> kMultipliers{{
    {"EX", 1e18}, {"PE", 1e15}, {"T", 1e12}, {"G", 1e9}, {"MA", 1e6}, {"K", 1e3},
    {"M", 1e-3}, {"U", 1e-6}, {"N", 1e-9}, {"P", 1e-12}, {"F", 1e-15}, {"A", 1e-18}}};

// The factor of a suffix for values in aUnit: the unit alone, or a multiplier and the unit.
double SuffixFactor(const QString& aSuffix, const QString& aUnit) {
  if (aSuffix.isEmpty()) return 1.0;
  const QString suffix = aSuffix.toUpper();
  const QString unit = aUnit.toUpper();
  if (unit.isEmpty() || !suffix.endsWith(unit)) Refuse(-131, "Invalid suffix");
  const QString multiplier = suffix.chopped(unit.size());
  if (multiplier.isEmpty()) return 1.0;
  for (const auto& [name, factor] : kMultipliers)
    if (multiplier == name) return factor;
  Refuse(-131, "Invalid suffix");
}

// A decimal number with its suffix; nullopt when the text is no number.
std::optional<std::pair<double, QString>> Decimal(const QString& aText) {
  static const QRegularExpression kNumber(
      R"(^([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?)\s*([A-Za-z]*)$)");
  const QRegularExpressionMatch m = kNumber.match(aText);
  if (!m.hasMatch()) return std::nullopt;
  bool ok = false;
  const double value = m.captured(1).toDouble(&ok);
  // Digits beyond a double's range.
  return std::pair{ok ? value : HUGE_VAL, m.captured(2)};
}

}  // namespace

TScpiNumeric ScpiNumeric(const QString& aText, const QString& aUnit) {
  if (const auto limit = LimitOf(aText)) return *limit;
  const auto number = Decimal(aText);
  if (!number) Refuse(-104, "Data type error");
  const double value = number->first * SuffixFactor(number->second, aUnit);
  if (!std::isfinite(value)) Refuse(-222, "Data out of range");
  return value;
}

int ScpiInteger(const QString& aText, int aMin, int aMax) {
  const TScpiNumeric v = ScpiNumeric(aText, QString());
  const double* number = std::get_if<double>(&v);
  if (!number) Refuse(-104, "Data type error");
  const double rounded = std::round(*number);
  if (rounded < aMin || rounded > aMax) Refuse(-222, "Data out of range");
  return static_cast<int>(rounded);
}

std::optional<TScpiLimit> ScpiLimitWord(const QString& aText) {
  const auto limit = LimitOf(aText);
  if (!limit) Refuse(-224, "Illegal parameter value");
  return limit;
}

bool ScpiBoolean(const QString& aText) {
  if (IsWord(aText, "ON", "ON")) return true;
  if (IsWord(aText, "OFF", "OFF")) return false;
  const auto number = Decimal(aText);
  // Only a plain decimal: "nan" and "inf" are no numbers here, and nothing rounds them.
  if (!number || !number->second.isEmpty() || !std::isfinite(number->first))
    Refuse(-224, "Illegal parameter value");
  const double rounded = std::round(number->first);
  if (rounded != 0.0 && rounded != 1.0) Refuse(-224, "Illegal parameter value");
  return rounded == 1.0;
}
