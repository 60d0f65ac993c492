#pragma once
// Register values in volts, amperes and watts with the identified model's scaling (the model
// variables of UtilUnit), as text with "." decimals whatever the locale, and back.

#include "core/UtilUnit.h"

#include <QString>

#include <cstdint>
#include <optional>

// A fixed-point value: "12.34" for (1234, 2); no decimals for aDecimals 0.
QString DecimalText(uint64_t aValue, int aDecimals);

// 10 mV units.
QString VoltsText(uint32_t aUnits);
double Volts(uint32_t aUnits);
// Current units of the model: three decimals for 1 mA units, two for 10 mA.
QString AmpsText(uint32_t aUnits);
double Amps(uint32_t aUnits);
int CurrentDecimals();
// 0.01 W units.
QString WattsText(uint32_t aUnits);
double Watts(uint32_t aUnits);
// Output power of a voltage and a current, in 0.01 W, as the program computes it.
uint32_t PowerOf(uint32_t aVoltageUnits, uint32_t aCurrentUnits);

// Register units for a value in volts or amperes, rounded to the nearest unit; empty when the
// value does not fit a register.
std::optional<uint32_t> VoltageUnits(double aVolts);
std::optional<uint32_t> CurrentUnits(double aAmps);

// "M3" for 3, "C0" for 10.
QString PresetName(uint32_t aPreset);
// "ver_43"
QString FirmwareClassName(TVersion aClass);
// Seconds as h:mm:ss.
QString DurationText(uint32_t aSeconds);
