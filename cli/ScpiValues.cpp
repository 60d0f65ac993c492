#include "cli/ScpiValues.h"

#include <QRegularExpression>

#include <cmath>

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

}  // namespace

TScpiNumeric ScpiNumeric(const QString& aText, const QString& aUnit) {
  if (const auto limit = LimitOf(aText)) return *limit;
  static const QRegularExpression kNumber(
      R"(^([+-]?(?:\d+\.?\d*|\.\d+)(?:[eE][+-]?\d+)?)\s*([A-Za-z]*)$)");
  const QRegularExpressionMatch m = kNumber.match(aText);
  if (!m.hasMatch()) Refuse(-104, "Data type error");
  bool ok = false;
  double value = m.captured(1).toDouble(&ok);
  if (!ok || !std::isfinite(value)) Refuse(-222, "Data out of range");
  const QString suffix = m.captured(2).toUpper();
  if (!aUnit.isEmpty() && suffix == "M" + aUnit.toUpper())
    value /= 1000.0;
  else if (!suffix.isEmpty() && suffix != aUnit.toUpper())
    Refuse(-131, "Invalid suffix");
  return value;
}

std::optional<TScpiLimit> ScpiLimitWord(const QString& aText) {
  const auto limit = LimitOf(aText);
  if (!limit) Refuse(-224, "Illegal parameter value");
  return limit;
}

bool ScpiBoolean(const QString& aText) {
  if (IsWord(aText, "ON", "ON")) return true;
  if (IsWord(aText, "OFF", "OFF")) return false;
  bool ok = false;
  const double v = aText.toDouble(&ok);
  if (!ok) Refuse(-224, "Illegal parameter value");
  return std::lround(v) != 0;
}
