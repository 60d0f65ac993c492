#include "app/ActivityIndicator.h"

#include <QPainter>

#include <cmath>
#include <numbers>

namespace {
constexpr int kFrameMs = 60;
constexpr int kFrames = 24;
constexpr int kDots = 5;
}  // namespace

TActivityIndicator::TActivityIndicator(const QString& name, QWidget* parent) : QWidget(parent) {
  setObjectName(name);
  fTimer.setInterval(kFrameMs);
  connect(&fTimer, &QTimer::timeout, this, [this] {
    fFrame = (fFrame + 1) % kFrames;
    update();
  });
}

void TActivityIndicator::SetAnimate(bool value) {
  if (value == Animate()) return;
  if (value) {
    fFrame = 0;
    fTimer.start();
  } else {
    fTimer.stop();
  }
  update();
}

void TActivityIndicator::SetIndicatorType(TKind value) {
  fKind = value;
  update();
}

void TActivityIndicator::paintEvent(QPaintEvent*) {
  if (!Animate()) return;  // nothing is shown while idle
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF area = QRectF(rect()).adjusted(2, 2, -2, -2);
  if (fKind == TKind::RotatingSector)
    PaintSector(p, area);
  else
    PaintDots(p, area);
}

void TActivityIndicator::PaintSector(QPainter& p, const QRectF& area) const {
  const double side = std::min(area.width(), area.height());
  const QRectF ring(area.center().x() - side / 2, area.center().y() - side / 2, side, side);
  p.setPen(QPen(QColor(0x50, 0x50, 0x50), 3));
  p.drawEllipse(ring.adjusted(2, 2, -2, -2));
  p.setPen(QPen(QColor(0x2E, 0x9B, 0xFF), 3, Qt::SolidLine, Qt::RoundCap));
  const int start = -fFrame * (360 / kFrames) * 16;
  p.drawArc(ring.adjusted(2, 2, -2, -2), start, 100 * 16);
}

void TActivityIndicator::PaintDots(QPainter& p, const QRectF& area) const {
  // Dots that run across the width and bunch up in the middle, like a moving body slowing down.
  const double radius = std::min(area.height() / 2.0, 3.0);
  p.setPen(Qt::NoPen);
  p.setBrush(QColor(0x2E, 0x9B, 0xFF));
  for (int i = 0; i < kDots; ++i) {
    const double phase = std::fmod(fFrame / double(kFrames) + i * 0.06, 1.0);
    const double eased = 0.5 - 0.5 * std::cos(phase * std::numbers::pi);
    const double x = area.left() + eased * area.width();
    p.drawEllipse(QPointF(x, area.center().y()), radius, radius);
  }
}
