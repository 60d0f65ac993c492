#pragma once
// Texts and choices of the calibration tab that do not depend on the window.

#include <QString>
#include <QStringList>

#include <cstdint>

// Five digits with a decimal point after digit 5 (pointPos 5) or digit 4 (pointPos 4); the
// ten-thousands digit is blank when it is 0 and the point is not after it. Above 99999: "-----".
QString FormatCalibValue(uint32_t aValue, uint32_t aPointPos);

// The output-current-high choices of a model, highest first; none for a model without them.
QStringList IoutHighItems(uint32_t aModel);

// The start argument of an output-current-high choice ("5A" gives 500), in 10 mA units;
// 0 for a text that is not one of the choices.
uint16_t IoutHighCurrent(const QString& aItem);
