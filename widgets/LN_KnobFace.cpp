// The knob's face: drop shadow, knurled skirt, dished cap, engraved graduation, the indicator
// and the state ring, lit from the upper left.

#include <QApplication>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QRadialGradient>

#include <algorithm>
#include <cmath>
#include <numbers>

#include "core/ErrorReport.h"
#include "widgets/LN_Knob.h"

namespace {

constexpr double kDegree = std::numbers::pi / 180;
// Direction the light comes from (upper left).
constexpr double kLightAngle = 225;

QPointF Polar(double radius, double degrees) {
  return {radius * std::cos(degrees * kDegree), radius * std::sin(degrees * kDegree)};
}

QRectF Circle(double radius, QPointF centre = {}) {
  return {centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius};
}

QColor WithAlpha(QColor colour, int alpha) {
  colour.setAlpha(alpha);
  return colour;
}

// Light falling on a surface facing the given direction: -1 (away) .. 1 (towards).
double Lighting(double degrees) { return std::cos((degrees - kLightAngle) * kDegree); }

}  // namespace

const QColor& TLN_Knob::BorderColor() const {
  if (!isEnabled()) return fDisabledBorderColor;
  if (fShowFocusedState && (hasFocus() || fDragging)) return fFocusedBorderColor;
  return fUnfocusedBorderColor;
}

void TLN_Knob::paintEvent(QPaintEvent*) {
  try {
    QPainter p(this);
    PaintKnob(p);
  } catch (...) {
    // A message box must not open inside a paint.
    QMetaObject::invokeMethod(
        qApp, [] { ReportError(QStringLiteral("Error occured at internal code of TLN_Knob")); },
        Qt::QueuedConnection);
  }
}

void TLN_Knob::PaintKnob(QPainter& p) const {
  if (!fTransparent) p.fillRect(rect(), palette().window());
  p.setRenderHint(QPainter::Antialiasing);
  const double side = std::min(width(), height());
  p.translate(side / 2, side / 2);

  const double outer = side / 2 - 0.5;
  const double ringWidth = fDrawBorder ? std::max(2.0, side * 0.05) : 0;
  const double knob = outer - ringWidth - (fDrawBorder ? side * 0.02 : 0);
  const double cap = knob * 0.78;

  if (fDrawBorder) PaintRing(p, outer, ringWidth);
  if (fFace3D) {
    PaintShadow(p, knob);
    PaintKnurledSkirt(p, knob);
  } else {
    PaintPlainSkirt(p, knob);
  }
  PaintCap(p, cap);
  if (!fKnobImage.isNull()) PaintImage(p, cap);
  if (fShowIndicator) PaintIndicator(p, cap);
}

void TLN_Knob::PaintRing(QPainter& p, double outer, double width) const {
  // A bezel in the state colour, with a dark groove between it and the knob.
  const QColor colour = BorderColor();
  QPainterPath ring;
  ring.addEllipse(Circle(outer));
  ring.addEllipse(Circle(outer - width));
  QLinearGradient shade(Polar(outer, kLightAngle), Polar(outer, kLightAngle + 180));
  shade.setColorAt(0, fFace3D ? colour.lighter(135) : colour);
  shade.setColorAt(1, fFace3D ? colour.darker(135) : colour);
  p.setPen(Qt::NoPen);
  p.setBrush(shade);
  p.drawPath(ring);
  p.setPen(QPen(WithAlpha(Qt::black, 90), 1));
  p.setBrush(Qt::NoBrush);
  p.drawEllipse(Circle(outer - width - 0.5));
}

void TLN_Knob::PaintShadow(QPainter& p, double radius) const {
  const QPointF offset(radius * 0.05, radius * 0.08);
  QRadialGradient shadow(offset, radius * 1.08);
  shadow.setColorAt(0.85, WithAlpha(Qt::black, 110));
  shadow.setColorAt(1, WithAlpha(Qt::black, 0));
  p.setPen(Qt::NoPen);
  p.setBrush(shadow);
  p.drawEllipse(Circle(radius * 1.08, offset));
}

void TLN_Knob::PaintKnurledSkirt(QPainter& p, double radius) const {
  // Body: a cylinder lit from the upper left.
  QLinearGradient body(Polar(radius, kLightAngle), Polar(radius, kLightAngle + 180));
  body.setColorAt(0, fColor.lighter(145));
  body.setColorAt(0.5, fColor);
  body.setColorAt(1, fColor.darker(190));
  p.setPen(QPen(fColor.darker(260), 1));
  p.setBrush(body);
  p.drawEllipse(Circle(radius));

  // Grip ridges, turning with the knob; each ridge has a lit and a shaded flank.
  const int ridges = std::max(24, int(std::lround(2 * std::numbers::pi * radius / 5.5)));
  const double pitch = 360.0 / ridges;
  const double inner = radius * 0.80;
  for (int i = 0; i < ridges; ++i) {
    const double at = fAngle + i * pitch;
    const double light = Lighting(at);
    p.setPen(
        QPen(WithAlpha(Qt::black, int(70 + 50 * (1 - light))), 1.1, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(Polar(inner, at), Polar(radius - 0.8, at));
    p.setPen(QPen(WithAlpha(Qt::white, int(std::max(0.0, 25 + 70 * light))), 0.9, Qt::SolidLine,
                  Qt::RoundCap));
    p.drawLine(Polar(inner, at + pitch * 0.45), Polar(radius - 0.8, at + pitch * 0.45));
  }
  // A thin sheen along the lit edge of the skirt.
  p.setPen(QPen(WithAlpha(Qt::white, 110), 1.2));
  p.setBrush(Qt::NoBrush);
  p.drawArc(Circle(radius - 1), int(-(kLightAngle - 55) * 16), int(-110 * 16));
}

void TLN_Knob::PaintPlainSkirt(QPainter& p, double radius) const {
  p.setPen(QPen(fColor.darker(200), 1));
  p.setBrush(fColor);
  p.drawEllipse(Circle(radius));
}

void TLN_Knob::PaintCap(QPainter& p, double radius) const {
  const double bevel = std::max(1.5, radius * 0.07);
  p.setPen(Qt::NoPen);
  if (fFace3D) {
    // Chamfer: dark where it faces away from the light, bright where it faces it.
    QLinearGradient chamfer(Polar(radius, kLightAngle), Polar(radius, kLightAngle + 180));
    chamfer.setColorAt(0, fColor.darker(170));
    chamfer.setColorAt(1, fColor.lighter(125));
    p.setBrush(chamfer);
    p.drawEllipse(Circle(radius));
    // Slightly dished top.
    QLinearGradient top(Polar(radius, kLightAngle), Polar(radius, kLightAngle + 180));
    top.setColorAt(0, fColor.lighter(128));
    top.setColorAt(1, fColor.darker(118));
    p.setBrush(top);
  } else {
    p.setPen(QPen(fColor.darker(170), 1));
    p.setBrush(fColor.lighter(110));
  }
  p.drawEllipse(Circle(radius - bevel));

  if (fFaceEffect) {
    // Machined finish: fine concentric tool marks.
    for (double r = 1.5; r < radius - bevel; r += 1.5) {
      p.setPen(QPen(WithAlpha(int(r / 1.5) % 2 ? Qt::white : Qt::black, 22), 0.8));
      p.setBrush(Qt::NoBrush);
      p.drawEllipse(Circle(r));
    }
  }
  if (fFace3D) {
    // Soft reflection of the light on the upper left of the cap.
    const QPointF spot = Polar(radius * 0.45, kLightAngle);
    QRadialGradient gloss(spot, radius * 0.9);
    gloss.setColorAt(0, WithAlpha(Qt::white, 95));
    gloss.setColorAt(1, WithAlpha(Qt::white, 0));
    p.setPen(Qt::NoPen);
    p.setBrush(gloss);
    p.drawEllipse(Circle(radius - bevel));
  }

  // Engraved graduation on the cap's edge, turning with the knob.
  const double tickOuter = radius - bevel - 1.5;
  const double tickInner = tickOuter - std::max(2.0, radius * 0.12);
  for (int i = 1; i < 24; ++i) {
    const double at = fAngle + i * 15;
    const bool major = i % 6 == 0;
    const double from = major ? tickInner - radius * 0.05 : tickInner;
    p.setPen(QPen(WithAlpha(Qt::black, major ? 150 : 100), major ? 1.3 : 0.9));
    p.drawLine(Polar(from, at), Polar(tickOuter, at));
    if (fFace3D) {
      p.setPen(QPen(WithAlpha(Qt::white, 60), 0.7));
      p.drawLine(Polar(from, at + 1.2), Polar(tickOuter, at + 1.2));
    }
  }
}

void TLN_Knob::PaintImage(QPainter& p, double radius) const {
  p.save();
  QPainterPath clip;
  clip.addEllipse(Circle(radius));
  p.setClipPath(clip);
  if (fRotateImage) p.rotate(fAngle);
  p.drawPixmap(Circle(radius), fKnobImage, QRectF(fKnobImage.rect()));
  p.restore();
}

void TLN_Knob::PaintIndicator(QPainter& p, double radius) const {
  p.save();
  p.rotate(fAngle);
  const double rim = radius - std::max(1.5, radius * 0.07) - 1;
  if (fIndicatorType == TIndicatorType::it_Line) {
    const double inner = rim - std::max(1.0, fLineLength);
    if (fFace3D) {
      // The engraving catches the light on its far edge.
      p.setPen(QPen(WithAlpha(Qt::white, 90), fLineWidth, Qt::SolidLine, Qt::RoundCap));
      p.drawLine(QPointF(inner, 0.9), QPointF(rim, 0.9));
    }
    p.setPen(QPen(fLineColor, fLineWidth, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(inner, 0), QPointF(rim, 0));
  } else {
    const double lamp = std::max(1.5, fLineLength / 2);
    const QPointF centre(rim - lamp - fLineWidth, 0);
    const QColor colour = fLedOn ? fOnColor : fOffColor;
    // Recess the lamp sits in.
    p.setPen(QPen(fColor.lighter(140), 0.8));
    p.setBrush(fColor.darker(260));
    p.drawEllipse(Circle(lamp + fLineWidth * 0.6, centre));
    p.rotate(-fAngle);  // the lamp's own shading stays lit from the upper left
    const QPointF at = Polar(centre.x(), fAngle);
    if (fLedOn) {
      QRadialGradient glow(at, lamp * 2.2);
      glow.setColorAt(0, WithAlpha(colour, 150));
      glow.setColorAt(1, WithAlpha(colour, 0));
      p.setPen(Qt::NoPen);
      p.setBrush(glow);
      p.drawEllipse(Circle(lamp * 2.2, at));
    }
    QRadialGradient bulb(at + Polar(lamp * 0.35, kLightAngle), lamp * 1.3);
    bulb.setColorAt(0, colour.lighter(fLedOn ? 175 : 130));
    bulb.setColorAt(0.6, colour);
    bulb.setColorAt(1, colour.darker(fLedOn ? 130 : 170));
    p.setPen(QPen(colour.darker(200), 0.6));
    p.setBrush(bulb);
    p.drawEllipse(Circle(lamp, at));
  }
  p.restore();
}
