#pragma once
// The live values of the supply's registers 0 to 9 in volts, amperes and watts: what status and
// watch show, as text and as JSON.

#include "core/UtilUnit.h"

#include <QJsonObject>
#include <QString>

// Set point, output values, power (recomputed from the output, as the program does), CV/CC,
// output state, protection and input voltage.
QJsonObject ReadoutJson(const TCurrentSet& aData);
// "on" / "off", "CV" / "CC", and the protection text ("none" when no protection tripped).
QString OutputStateText(const TCurrentSet& aData);
QString ModeText(const TCurrentSet& aData);
QString ProtectionOf(const TCurrentSet& aData);
uint32_t OutputPower(const TCurrentSet& aData);
