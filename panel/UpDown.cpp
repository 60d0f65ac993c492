#include "panel/UpDown.h"

#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>

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

void TUpDown::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  for (TUDBtnType button : {btNext, btPrev}) {
    QStyleOption option;
    option.initFrom(this);
    option.rect = ButtonRect(button);
    const bool down = fHeld && fHeldButton == button;
    option.state |= down ? QStyle::State_Sunken : QStyle::State_Raised;
    style()->drawPrimitive(QStyle::PE_PanelButtonBevel, &option, &painter, this);
    option.rect = option.rect.adjusted(3, 3, -3, -3);
    const QStyle::PrimitiveElement arrow =
        fOrientation == udVertical ? (button == btNext ? QStyle::PE_IndicatorArrowUp
                                                       : QStyle::PE_IndicatorArrowDown)
                                   : (button == btNext ? QStyle::PE_IndicatorArrowRight
                                                       : QStyle::PE_IndicatorArrowLeft);
    style()->drawPrimitive(arrow, &option, &painter, this);
  }
}
