#include "panel/UpDown.h"

#include <QMouseEvent>
#include <QPainter>

namespace {
// A held button repeats after a pause, then briskly.
constexpr int kRepeatDelay = 400;
constexpr int kRepeatInterval = 80;
}  // namespace

TUpDown::TUpDown(QWidget* parent) : QWidget(parent) {
  resize(17, 40);
  fRepeatTimer.setSingleShot(true);
  connect(&fRepeatTimer, &QTimer::timeout, this, &TUpDown::Repeat);
}

void TUpDown::SetOrientation(TUDOrientation value) {
  if (value == fOrientation) return;
  fOrientation = value;
  update();
}

void TUpDown::Press(TUDBtnType button) {
  const TUpDownDirection direction = button == btNext ? updUp : updDown;
  const int newValue = fPosition + (button == btNext ? fIncrement : -fIncrement);
  bool allow = true;
  if (fOnChangingEx) fOnChangingEx(this, allow, newValue, direction);
  if (allow && newValue >= fMin && newValue <= fMax) fPosition = newValue;
  if (fOnClick) fOnClick(this, button);
}

// Up is the upper half of a vertical control and the right half of a horizontal one.
TUDBtnType TUpDown::ButtonAt(QPoint p) const {
  if (fOrientation == udVertical) return p.y() < height() / 2 ? btNext : btPrev;
  return p.x() >= width() / 2 ? btNext : btPrev;
}

QRect TUpDown::ButtonRect(TUDBtnType button) const {
  if (fOrientation == udVertical) {
    const int half = height() / 2;
    return button == btNext ? QRect(0, 0, width(), half) : QRect(0, half, width(), height() - half);
  }
  const int half = width() / 2;
  return button == btPrev ? QRect(0, 0, half, height()) : QRect(half, 0, width() - half, height());
}

void TUpDown::mousePressEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  fHeld = true;
  fHeldButton = ButtonAt(event->position().toPoint());
  update();
  Press(fHeldButton);
  fRepeatTimer.start(kRepeatDelay);
}

void TUpDown::mouseReleaseEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) return;
  fHeld = false;
  fRepeatTimer.stop();
  update();
}

void TUpDown::Repeat() {
  if (!fHeld || !isEnabled()) return;
  Press(fHeldButton);
  fRepeatTimer.start(kRepeatInterval);
}

void TUpDown::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && !isEnabled()) {
    fHeld = false;
    fRepeatTimer.stop();
  }
  QWidget::changeEvent(event);
}

// Two moulded keys in the palette's button colour, each with a triangle pointing its way.
void TUpDown::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setRenderHint(QPainter::Antialiasing);
  const QColor face = palette().color(QPalette::Button);
  const QColor mark = palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                                      QPalette::ButtonText);
  for (TUDBtnType button : {btNext, btPrev}) {
    const QRectF key = QRectF(ButtonRect(button)).adjusted(1, 1, -1, -1);
    const bool down = fHeld && fHeldButton == button;
    QLinearGradient shade(key.topLeft(), key.bottomLeft());
    shade.setColorAt(0, down ? face.darker(130) : face.lighter(135));
    shade.setColorAt(1, down ? face.darker(110) : face.darker(120));
    painter.setPen(QPen(face.darker(200), 1));
    painter.setBrush(shade);
    painter.drawRoundedRect(key.adjusted(0.5, 0.5, -0.5, -0.5), 3, 3);

    const QPointF c = key.center() + (down ? QPointF(0.5, 0.5) : QPointF());
    const double r = std::max(2.0, std::min(key.width(), key.height()) / 4.5);
    QPolygonF triangle;
    if (fOrientation == udVertical)
      triangle = button == btNext ? QPolygonF({{c.x() - r, c.y() + r / 2}, {c.x() + r, c.y() + r / 2},
                                               {c.x(), c.y() - r / 2 - 1}})
                                  : QPolygonF({{c.x() - r, c.y() - r / 2}, {c.x() + r, c.y() - r / 2},
                                               {c.x(), c.y() + r / 2 + 1}});
    else
      triangle = button == btNext ? QPolygonF({{c.x() - r / 2, c.y() - r}, {c.x() - r / 2, c.y() + r},
                                               {c.x() + r / 2 + 1, c.y()}})
                                  : QPolygonF({{c.x() + r / 2, c.y() - r}, {c.x() + r / 2, c.y() + r},
                                               {c.x() - r / 2 - 1, c.y()}});
    painter.setPen(Qt::NoPen);
    painter.setBrush(mark);
    painter.drawPolygon(triangle);
  }
}
