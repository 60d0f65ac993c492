#pragma once
// Parameter data of SCPI commands: decimal numbers with an optional suffix ("12.5", "500 mV",
// "1.2E-1A", "2kV"), the words MINimum, MAXimum and DEFault, and booleans (ON, OFF, 1, 0).
// Each refusal is the standard's error for it.
//
// A suffix is a unit with an optional multiplier of IEEE 488.2 (EX PE T G MA K M U N P F A, in
// any case). As that standard reads suffixes, M before a unit is milli (MV millivolts, MA
// milliamperes) and MA is mega only as a multiplier before a unit (MAV megavolts).

#include "cli/ScpiMessage.h"

#include <QString>

#include <optional>
#include <variant>

enum class TScpiLimit { Minimum, Maximum, Default };

// A number in the base unit (aUnit "V" or "A"; no suffix at all is taken when aUnit is empty),
// or a limit word.
using TScpiNumeric = std::variant<double, TScpiLimit>;

struct TScpiRefusal {
  TScpiError Error;
};

// Throws TScpiRefusal: -104 "Data type error" for what is no number, -131 "Invalid suffix"
// for a unit other than aUnit or an unknown multiplier.
TScpiNumeric ScpiNumeric(const QString& aText, const QString& aUnit);
// A whole number from aMin to aMax; a decimal one is rounded ("*ESE 1.5" is 2). -104 for a
// word, -222 beyond the range.
int ScpiInteger(const QString& aText, int aMin, int aMax);
// MIN, MAX or DEF as the optional parameter of a query ("VOLT? MAX"); -224 for other words.
std::optional<TScpiLimit> ScpiLimitWord(const QString& aText);
// ON/OFF, or a number that rounds to 1 or 0; -224 "Illegal parameter value" for anything else,
// NaN and infinities too.
bool ScpiBoolean(const QString& aText);
