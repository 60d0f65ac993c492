#pragma once
// The wiring picture of the calibration tab: the supply, its input source and a multimeter,
// with the leads of the point being calibrated drawn over it (red first, then black).

#include <QPixmap>

// The picture as shipped, without leads.
QPixmap LoadCalibPicture();
QPixmap LoadThermometerPicture();

// Input voltage points: the meter across the supply's input.
void DrawUinWiring(QPixmap& aImage);
// Output voltage points: the meter across the output, on its voltage jack.
void DrawUoutWiring(QPixmap& aImage);
// Output current points: the meter's current jack in the output circuit.
void DrawIoutWiring(QPixmap& aImage);
