#pragma once
// Parameter data of SCPI commands: decimal numbers with an optional unit suffix ("12.5",
// "500 mV", "1.2E-1A"), the words MINimum, MAXimum and DEFault, and booleans (ON, OFF, 1, 0).
// Each refusal is the standard's error for it.

#include "cli/ScpiMessage.h"

#include <QString>

#include <optional>
#include <variant>

enum class TScpiLimit { Minimum, Maximum, Default };

// A number in the base unit (aUnit "V" or "A"; an "M" before it is milli; none when empty), or a
// limit word.
using TScpiNumeric = std::variant<double, TScpiLimit>;

struct TScpiRefusal {
  TScpiError Error;
};

// Throws TScpiRefusal: -104 "Data type error" for what is no number, -131 "Invalid suffix"
// for a unit other than aUnit or its milli.
TScpiNumeric ScpiNumeric(const QString& aText, const QString& aUnit);
// MIN, MAX or DEF as the optional parameter of a query ("VOLT? MAX"); -224 for other words.
std::optional<TScpiLimit> ScpiLimitWord(const QString& aText);
// ON/OFF/1/0 (any number: not zero is on); -224 "Illegal parameter value" otherwise.
bool ScpiBoolean(const QString& aText);
