#pragma once
// The oscilloscope picture: sample ring, scrolling grid, anti-aliased traces and scale labels,
// drawn onto a 320 x 220 bitmap. Pure drawing, no controls, so every pixel can be checked.

#include <QImage>
#include <QString>

#include <array>
#include <cstdint>
#include <span>

inline constexpr int kOscWidth = 320;
inline constexpr int kOscHeight = 220;

// One sample: voltage in 10 mV, current in 10 mA whatever the model's current unit.
struct TOscDataRecord {
  uint16_t Volt;
  uint16_t Amper;
};
using TOscData = std::array<TOscDataRecord, kOscWidth>;

// Which trace to draw and on what scale (values in 10 mV or 10 mA).
struct TOscTrace {
  uint16_t TOscDataRecord::*Field;
  int32_t Div;
  int32_t Shift;
  QRgb Color;
};

// The whole chart as the controls set it. Channel: bit 0 the voltage trace, bit 1 the current
// trace; 0 shows the zero line only.
struct TOscScale {
  int32_t Vdiv, Vshift, Adiv, Ashift;
  int Channel;
};

inline constexpr QRgb kOscGridColor = qRgb(128, 128, 128);
inline constexpr QRgb kOscZeroColor = qRgb(255, 255, 255);
inline constexpr QRgb kOscVoltColor = qRgb(255, 255, 0);
inline constexpr QRgb kOscAmperColor = qRgb(166, 202, 240);

// A fresh black bitmap of the chart's size.
QImage NewOscBitmap();

// Redraws the whole bitmap. Newest is the count index of the newest sample (negative: none yet);
// decimalPoint is the user's decimal separator for the labels.
void DrawOscChart(QImage& bitmap, const TOscData& data, int32_t newest, const TOscScale& scale,
                  const QString& decimalPoint);

// One trace, newest sample at the right edge, one pixel per sample towards the left.
void DrawOscTrace(QImage& bitmap, const TOscData& data, int32_t newest, const TOscTrace& trace);

// "2V/d -5V": scale and shift in volts or amperes (value / 100), shortest decimal text.
QString OscScaleLabel(int32_t div, int32_t shift, const QString& unit, const QString& decimalPoint);

// The smallest scale that keeps the maximum below nine divisions; the largest when none does.
int OscAutoRangePosition(uint32_t maximum, std::span<const int32_t> perDivision);
