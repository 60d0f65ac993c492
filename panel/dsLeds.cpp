#include "panel/dsLeds.h"

#include <QPainter>
#include <QPainterPath>
#include <QWheelEvent>

#include <array>
#include <cmath>
#include <numbers>
#include <vector>

namespace {

constexpr std::array<TdsDisplaySegments, 12> kDigitCodes{
    0x77, 0x24, 0x5D, 0x6D, 0x2E, 0x6B, 0x7B, 0x25, 0x7F, 0x6F, 0x00, 0x08};
constexpr TdsDisplaySegments kLetterE = 0x5B;

struct TGridPoint {
  double X, Y;
};

std::vector<TGridPoint> SegmentOnGrid(TdsDisplaySegment segment, double sw) {
  const double half = sw / 2;
  switch (segment) {
    case tsTop: return {{2, 1}, {18, 1}, {18 - sw, sw + 1}, {sw + 2, sw + 1}};
    case tsUpperLeft: return {{1, 2}, {1, 18}, {sw + 1, 18 - sw}, {sw + 1, sw + 2}};
    case tsUpperRight: return {{19, 2}, {19, 18}, {19 - sw, 18 - sw}, {19 - sw, sw + 2}};
    case tsMiddle:
      return {{2, 19}, {half + 2, 19 - half}, {18 - half, 19 - half},
              {18, 19}, {18 - half, 19 + half}, {half + 2, 19 + half}};
    case tsLowerLeft: return {{1, 20}, {1, 36}, {sw + 1, 36 - sw}, {sw + 1, sw + 20}};
    case tsLowerRight: return {{19, 20}, {19, 36}, {19 - sw, 36 - sw}, {19 - sw, sw + 20}};
    case tsBottom: return {{2, 37}, {18, 37}, {18 - sw, 37 - sw}, {sw + 2, 37 - sw}};
  }
  return {};
}

// Nearest integer, halves to even (the default floating-point rounding mode).
int RoundEven(double value) { return static_cast<int>(std::lrint(value)); }

// Angle of p seen from the centre c, counter-clockwise from 3 o'clock with y pointing down.
double ScreenAngle(QPointF c, QPointF p) {
  return std::atan2(c.y() - p.y(), p.x() - c.x()) * 180 / std::numbers::pi;
}

QPainterPath ShapePath(TdsLedShape shape, const QRectF& r) {
  QPainterPath path;
  const QPointF c = r.center();
  switch (shape) {
    case ltEllipse: path.addEllipse(r); return path;
    case ltRectangle: path.addRect(r); return path;
    case ltTriangleTop: path.addPolygon(QPolygonF({QPointF(c.x(), r.top()), r.bottomRight(), r.bottomLeft()})); break;
    case ltTriangleBottom: path.addPolygon(QPolygonF({r.topLeft(), r.topRight(), QPointF(c.x(), r.bottom())})); break;
    case ltTriangleLeft: path.addPolygon(QPolygonF({QPointF(r.left(), c.y()), r.topRight(), r.bottomRight()})); break;
    case ltTriangleRight: path.addPolygon(QPolygonF({r.topLeft(), QPointF(r.right(), c.y()), r.bottomLeft()})); break;
  }
  path.closeSubpath();
  return path;
}

}  // namespace

TdsDisplaySegments DigitSegments(uint32_t value) {
  return value < kDigitCodes.size() ? kDigitCodes[value] : kLetterE;
}

QPolygon SegmentPolygon(TdsDisplaySegment segment, int width, int height, int segWidth) {
  const double ux = width / 20.0;
  const double uy = height / 38.0;
  QPolygon polygon;
  for (const TGridPoint& p : SegmentOnGrid(segment, segWidth))
    polygon << QPoint(RoundEven(p.X * ux), RoundEven(p.Y * uy));
  return polygon;
}

// ---- TdsSevenSegmentDisplay ----------------------------------------------------------------

TdsSevenSegmentDisplay::TdsSevenSegmentDisplay(QWidget* parent) : TdsGraphicControl(parent) {
  resize(40, 76);
}

void TdsSevenSegmentDisplay::SetSegments(TdsDisplaySegments value) {
  if (value == FSegments) return;
  FSegments = value;
  update();
  DoChange();
}

void TdsSevenSegmentDisplay::SetSegmentWidth(int value) {
  if (value == FSegWidth) return;
  FSegWidth = value;
  update();
}

void TdsSevenSegmentDisplay::SetBackColor(uint32_t value) {
  if (value == FBackColor) return;
  FBackColor = value;
  update();
}

void TdsSevenSegmentDisplay::SetOnColor(uint32_t value) {
  if (value == FOnColor) return;
  FOnColor = value;
  update();
}

void TdsSevenSegmentDisplay::SetOffColor(uint32_t value) {
  if (value == FOffColor) return;
  FOffColor = value;
  update();
}

void TdsSevenSegmentDisplay::SetValue(uint32_t value) {
  // A new digit holds 0 but lights nothing, so the pattern decides whether 0 is already shown.
  if (value == FValue && FSegments == DigitSegments(value)) return;
  FValue = value;
  SetSegments(DigitSegments(value));
}

void TdsSevenSegmentDisplay::DoChange() {
  if (FOnChange) FOnChange(this);
}

void TdsSevenSegmentDisplay::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setPen(Qt::NoPen);
  painter.fillRect(rect(), ColorFromBgr(FBackColor));
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor on = ColorFromBgr(FOnColor);
  const QColor off = ColorFromBgr(FOffColor);
  for (int bit = tsTop; bit <= tsBottom; ++bit) {
    painter.setBrush((FSegments >> bit) & 1 ? on : off);
    painter.drawPolygon(
        SegmentPolygon(static_cast<TdsDisplaySegment>(bit), width(), height(), FSegWidth));
  }
}

void TdsSevenSegmentDisplay::wheelEvent(QWheelEvent* event) {
  const int delta = event->angleDelta().y();
  const QPoint pos = event->position().toPoint();
  bool handled = false;
  if (fOnMouseWheel) fOnMouseWheel(this, event->modifiers(), delta, pos, handled);
  if (!handled && delta < 0 && fOnMouseWheelDown)
    fOnMouseWheelDown(this, event->modifiers(), pos, handled);
  if (!handled && delta > 0 && fOnMouseWheelUp)
    fOnMouseWheelUp(this, event->modifiers(), pos, handled);
  event->setAccepted(handled);
}

// ---- TdsLed --------------------------------------------------------------------------------

TdsLedHighlight LedHighlight(int width, int height) {
  const int h = std::min(width, height) / 5;
  return {QRect(h, h, width - 2 * h, height - 2 * h),
          QPoint(width / 2 + h / 2, h), QPoint(h, height / 2 + h / 2)};
}

TdsLed::TdsLed(QWidget* parent) : TdsGraphicControl(parent) { resize(24, 24); }

void TdsLed::SetShape(TdsLedShape value) {
  if (value == FShape) return;
  FShape = value;
  update();
}

void TdsLed::SetOnColor(uint32_t value) {
  if (value == FOnColor) return;
  FOnColor = value;
  update();
}

void TdsLed::SetOffColor(uint32_t value) {
  if (value == FOffColor) return;
  FOffColor = value;
  update();
}

void TdsLed::SetLedOn(bool value) {
  if (value == FLedOn) return;
  FLedOn = value;
  update();
  DoChange();
}

void TdsLed::SetStyle(TdsLedStyle value) {
  if (value == FStyle) return;
  FStyle = value;
  update();
}

void TdsLed::SetBevel(TdsLedBevel value) {
  if (value == FBevel) return;
  FBevel = value;
  update();
}

void TdsLed::DoChange() {
  if (FOnChange) FOnChange(this);
}

void TdsLed::DoDrawLed(QPainter& canvas) {
  if (FOnDrawLed) FOnDrawLed(this, rect(), canvas);
}

void TdsLed::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  if (FStyle == lsOwnerDraw) {
    DoDrawLed(painter);
    return;
  }
  PaintStandard(painter, ColorFromBgr(FLedOn ? FOnColor : FOffColor));
}

void TdsLed::PaintStandard(QPainter& painter, const QColor& fill) const {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  painter.setBrush(fill);
  const QRectF client(0, 0, width(), height());
  painter.drawPath(ShapePath(FShape, client));
  if (FShape == ltEllipse) {
    const TdsLedHighlight gloss = LedHighlight(width(), height());
    const QRectF bounds(gloss.Bounds.left(), gloss.Bounds.top(), gloss.Bounds.width(),
                        gloss.Bounds.height());
    const double start = ScreenAngle(bounds.center(), gloss.Start);
    double span = ScreenAngle(bounds.center(), gloss.End) - start;
    if (span <= 0) span += 360;
    painter.setBrush(Qt::white);
    painter.drawChord(bounds, RoundEven(start * 16), RoundEven(span * 16));
  }
  if (FBevel == blNone) return;
  // A thin rim: dark and sunk, light and raised, or a plain black border.
  const QColor rim = FBevel == blLowered ? QColor(0x40, 0x40, 0x40)
                     : FBevel == blRaised ? QColor(Qt::white)
                                          : QColor(Qt::black);
  painter.setBrush(Qt::NoBrush);
  painter.setPen(QPen(rim, 1));
  painter.drawPath(ShapePath(FShape, client.adjusted(0.5, 0.5, -0.5, -0.5)));
}
