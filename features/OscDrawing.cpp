#include "features/OscDrawing.h"

#include <QFont>
#include <QPainter>

#include <cmath>
#include <cstdlib>
#include <utility>

#include "core/UtilUnit.h"

namespace {

constexpr int kGridX = kOscWidth / 10;   // pixels per horizontal division
constexpr int kGridY = kOscHeight / 10;  // pixels per vertical division

// Every pixel write goes through here: lines and the thickening reach one pixel past the
// right and bottom edges, which the bitmap does not have.
void SetPixel(QImage& bitmap, int x, int y, QRgb color) {
  if (x < 0 || y < 0 || x >= bitmap.width() || y >= bitmap.height()) return;
  reinterpret_cast<QRgb*>(bitmap.scanLine(y))[x] = color;
}

// new = round(old * (1 - c) + pen * c), channel by channel.
void BlendPixel(QImage& bitmap, int x, int y, QRgb pen, double coverage) {
  if (x < 0 || y < 0 || x >= bitmap.width() || y >= bitmap.height()) return;
  QRgb& pixel = reinterpret_cast<QRgb*>(bitmap.scanLine(y))[x];
  const auto mix = [coverage](int old, int ink) {
    return static_cast<int>(std::lround(old * (1.0 - coverage) + ink * coverage));
  };
  pixel = qRgb(mix(qRed(pixel), qRed(pen)), mix(qGreen(pixel), qGreen(pen)),
               mix(qBlue(pixel), qBlue(pen)));
}

// Lines of the grid and the zero line leave out their end point.
void VerticalLine(QImage& bitmap, int x, int y0, int y1, QRgb color) {
  for (int y = y0; y < y1; ++y) SetPixel(bitmap, x, y, color);
}

void HorizontalLine(QImage& bitmap, int y, int x0, int x1, QRgb color) {
  for (int x = x0; x < x1; ++x) SetPixel(bitmap, x, y, color);
}

double FractionalPart(double v) { return v - std::floor(v); }
double RemainingPart(double v) { return 1.0 - FractionalPart(v); }

// Text of a value in hundredths, without trailing zeros: 2 -> "0.02", 500 -> "5", -150 -> "-1.5".
QString Hundredths(int32_t value, const QString& decimalPoint) {
  const int64_t magnitude = std::llabs(static_cast<int64_t>(value));
  QString text = QString::number(magnitude / 100);
  const int64_t fraction = magnitude % 100;
  if (fraction != 0) {
    QString digits = QString::number(fraction).rightJustified(2, '0');
    while (digits.endsWith('0')) digits.chop(1);
    text += decimalPoint + digits;
  }
  return value < 0 ? "-" + text : text;
}

void DrawLabel(QImage& bitmap, int x, int y, const QString& text, QRgb color) {
  QPainter painter(&bitmap);
  QFont font = painter.font();
  font.setPixelSize(11);
  painter.setFont(font);
  painter.setPen(QColor(color));
  painter.setBackgroundMode(Qt::OpaqueMode);
  painter.setBackground(Qt::black);
  painter.drawText(QRect(x, y, kOscWidth - x, kOscHeight - y), Qt::AlignLeft | Qt::AlignTop, text);
}

// Xiaolin Wu's anti-aliased line, blended into what the bitmap already holds.
void DrawWuLine(QImage& bitmap, double x0, double y0, double x1, double y1, QRgb color) {
  const bool steep = std::abs(y1 - y0) > std::abs(x1 - x0);
  if (steep) {
    std::swap(x0, y0);
    std::swap(x1, y1);
  }
  if (x0 > x1) {
    std::swap(x0, x1);
    std::swap(y0, y1);
  }
  const auto plot = [&](int major, int minor, double coverage) {
    if (steep)
      BlendPixel(bitmap, minor, major, color, coverage);
    else
      BlendPixel(bitmap, major, minor, color, coverage);
  };
  const double dx = x1 - x0;
  const double gradient = dx == 0.0 ? 1.0 : (y1 - y0) / dx;

  double xEnd = std::floor(x0 + 0.5);
  double yEnd = y0 + gradient * (xEnd - x0);
  double xGap = RemainingPart(x0 + 0.5);
  const int xPixel1 = static_cast<int>(xEnd);
  int yPixel = static_cast<int>(std::floor(yEnd));
  plot(xPixel1, yPixel, RemainingPart(yEnd) * xGap);
  plot(xPixel1, yPixel + 1, FractionalPart(yEnd) * xGap);
  double yInter = yEnd + gradient;

  xEnd = std::floor(x1 + 0.5);
  yEnd = y1 + gradient * (xEnd - x1);
  xGap = FractionalPart(x1 + 0.5);
  const int xPixel2 = static_cast<int>(xEnd);
  yPixel = static_cast<int>(std::floor(yEnd));
  plot(xPixel2, yPixel, RemainingPart(yEnd) * xGap);
  plot(xPixel2, yPixel + 1, FractionalPart(yEnd) * xGap);

  for (int x = xPixel1 + 1; x < xPixel2; ++x) {
    const int y = static_cast<int>(std::floor(yInter));
    plot(x, y, RemainingPart(yInter));
    plot(x, y + 1, FractionalPart(yInter));
    yInter += gradient;
  }
}

}  // namespace

QImage NewOscBitmap() {
  QImage bitmap(kOscWidth, kOscHeight, QImage::Format_RGB32);
  bitmap.fill(Qt::black);
  return bitmap;
}

void DrawOscTrace(QImage& bitmap, const TOscData& data, int32_t newest, const TOscTrace& trace) {
  int penX = 0;
  int penY = 0;
  for (int32_t i = 0; i < kOscWidth && i <= newest; ++i) {
    int32_t k = newest % kOscWidth - i;
    if (k < 0) k += kOscWidth;
    int32_t s = MulDiv(data[k].*trace.Field + trace.Shift, kGridY, trace.Div) + kGridY;
    if (s > kOscHeight) s = kOscHeight;
    if (s <= 0) s = 2;
    const int y = kOscHeight - s;
    if (i == 0) {
      penX = kOscWidth;
      penY = y;
      continue;
    }
    const int x = kOscWidth - i;
    if (y == penY)
      HorizontalLine(bitmap, y, x + 1, penX + 1, trace.Color);  // from the pen, end point left out
    else
      DrawWuLine(bitmap, penX, penY, x, y, trace.Color);
    penX = x;
    penY = y;
    SetPixel(bitmap, x, y + 1, trace.Color);
  }
}

void DrawOscChart(QImage& bitmap, const TOscData& data, int32_t newest, const TOscScale& scale,
                  const QString& decimalPoint) {
  bitmap.fill(Qt::black);
  // The grid moves left with the samples.
  const int offset = newest < 0 ? 0 : newest % kGridX;
  for (int i = 1; i <= 10; ++i) VerticalLine(bitmap, i * kGridX - offset, 0, kOscHeight, kOscGridColor);
  for (int i = 1; i <= 9; ++i) HorizontalLine(bitmap, i * kGridY, 0, kOscWidth, kOscGridColor);

  if (scale.Channel == 0)
    HorizontalLine(bitmap, kOscHeight - kGridY + 1, 0, kOscWidth, kOscZeroColor);
  if (scale.Channel & 1) {
    DrawOscTrace(bitmap, data, newest,
                 {&TOscDataRecord::Volt, scale.Vdiv, scale.Vshift, kOscVoltColor});
    DrawLabel(bitmap, 40, kOscHeight - 18, OscScaleLabel(scale.Vdiv, scale.Vshift, "V", decimalPoint),
              kOscVoltColor);
  }
  if (scale.Channel & 2) {
    DrawOscTrace(bitmap, data, newest,
                 {&TOscDataRecord::Amper, scale.Adiv, scale.Ashift, kOscAmperColor});
    DrawLabel(bitmap, 236, kOscHeight - 18,
              OscScaleLabel(scale.Adiv, scale.Ashift, "A", decimalPoint), kOscAmperColor);
  }
}

QString OscScaleLabel(int32_t div, int32_t shift, const QString& unit, const QString& decimalPoint) {
  return Hundredths(div, decimalPoint) + unit + "/d " + (shift >= 0 ? "+" : "") +
         Hundredths(shift, decimalPoint) + unit;
}

int OscAutoRangePosition(uint32_t maximum, std::span<const int32_t> perDivision) {
  for (size_t p = 0; p < perDivision.size(); ++p)
    if (maximum < 9u * static_cast<uint32_t>(perDivision[p])) return static_cast<int>(p);
  return static_cast<int>(perDivision.size()) - 1;
}
