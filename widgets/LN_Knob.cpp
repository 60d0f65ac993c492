#include "widgets/LN_Knob.h"

#include <QApplication>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPalette>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

int Normalized(int angle) { return ((angle % 360) + 360) % 360; }

// One wheel notch.
constexpr int kWheelDelta = 120;

}  // namespace

TLN_Knob::TLN_Knob(QWidget* parent) : QWidget(parent) {
  fLineColor = QApplication::palette().color(QPalette::Highlight);
  fColor = QApplication::palette().color(QPalette::Button);
  // A tab stop; a press takes the focus itself, and only a press on the face.
  setFocusPolicy(Qt::TabFocus);
  UpdateMinMax(fMin, fMax);
  resize(sizeHint());
  UpdateGeometry();
}

// ---- Position model ---------------------------------------------------------------------

void TLN_Knob::SetMin(int32_t value) { SetParams(fPosition, value, fMax); }
void TLN_Knob::SetMax(int32_t value) { SetParams(fPosition, fMin, value); }
void TLN_Knob::SetPosition(int32_t value) { SetParams(value, fMin, fMax); }

void TLN_Knob::SetParams(int32_t position, int32_t aMin, int32_t aMax) {
  UpdateMinMax(aMin, aMax);
  if (UpdatePosition(position) && OnChange) OnChange(this);
}

void TLN_Knob::UpdateMinMax(int32_t aMin, int32_t aMax) {
  const bool changed = aMin != fMin || aMax != fMax;
  if (aMin != fMin) fMin = aMin;
  if (aMax != fMax) fMax = aMax;
  // An empty or inverted range has no turns to spread over.
  const int64_t range = int64_t(fMax) - fMin;
  fSteps = range > 0 ? int32_t(range / fTurnsCount) : 0;
  fAngleInterval = fSteps > 0 ? 360.0 / fSteps : 0;
  // The same position sits at another angle of another turn in the new range: a drag must go
  // on from where the position is, not from where the old range had put it.
  if (changed) PlaceIndicator();
}

void TLN_Knob::PlaceIndicator() {
  const int64_t offset = int64_t(fPosition) - fMin;
  // While dragging the drag itself keeps count of the turns.
  if (!fDragging) fTurn = fSteps > 0 ? int(offset / fSteps) : 0;
  fAngle = Normalized(int(int64_t(std::nearbyint(double(offset) * fAngleInterval)) % 360));
  update();
}

int32_t TLN_Knob::Clamped(int64_t a) const {
  if (a < fMin) return fMin;
  // Above the range the knob rests one short of Max; Max itself is a valid position.
  if (a > fMax) return fMax > fMin ? fMax - 1 : fMax;
  return int32_t(a);
}

bool TLN_Knob::UpdatePosition(int32_t a) {
  a = Clamped(a);
  if (a == fPosition) return false;
  fPosition = a;
  PlaceIndicator();
  UpdateLabel();
  return true;
}

// A step up never lowers the position (at Max the "one short of Max" rule would), and a step
// down never raises it.
void TLN_Knob::Increment(Qt::KeyboardModifiers shift) {
  int64_t target = int64_t(fPosition) + 1;
  if (shift & Qt::ShiftModifier)
    target = int64_t(fPosition) + fPageSize;
  else if (shift & Qt::ControlModifier)
    target = int64_t(fMax) - 1;
  if (Clamped(target) > fPosition) SetPosition(Clamped(target));
}

void TLN_Knob::Decrement(Qt::KeyboardModifiers shift) {
  int64_t target = int64_t(fPosition) - 1;
  if (shift & Qt::ShiftModifier)
    target = int64_t(fPosition) - fPageSize;
  else if (shift & Qt::ControlModifier)
    target = fMin;
  if (Clamped(target) < fPosition) SetPosition(Clamped(target));
}

void TLN_Knob::SetSpringLoaded(bool value) {
  fSpringLoaded = value;
  if (value) SetPosition(0);
}

void TLN_Knob::SetLedOn(bool value) {
  if (fLedOn == value) return;
  fLedOn = value;
  update();
}

void TLN_Knob::SetKnobImage(const QPixmap& value) {
  fKnobImage = value;
  update();
}

// ---- Position label ----------------------------------------------------------------------

QLabel* TLN_Knob::PositionLabel() const { return fPositionLabel.data(); }

void TLN_Knob::SetPositionLabel(QLabel* label) {
  fPositionLabel = label;
  if (!label) return;
  label->setVisible(!isHidden());
  label->setEnabled(isEnabled());
  UpdateLabel();
}

void TLN_Knob::SetCaption(const QString& value) {
  fCaption = value;
  UpdateLabel();
}

void TLN_Knob::UpdateLabel() {
  if (fPositionLabel) fPositionLabel->setText(QString::asprintf("%d ", fPosition) + fCaption);
}

void TLN_Knob::leaveEvent(QEvent* event) {
  UpdateLabel();
  QWidget::leaveEvent(event);
}

void TLN_Knob::changeEvent(QEvent* event) {
  if (event->type() == QEvent::EnabledChange && fPositionLabel)
    fPositionLabel->setEnabled(isEnabled());
  QWidget::changeEvent(event);
}

bool TLN_Knob::event(QEvent* event) {
  // Explicit show and hide of the knob itself, not of its window. The type is tested first:
  // the knob gets mouse events while a label above it is half destroyed.
  if (event->type() == QEvent::ShowToParent && fPositionLabel) fPositionLabel->show();
  if (event->type() == QEvent::HideToParent && fPositionLabel) fPositionLabel->hide();
  return QWidget::event(event);
}

// ---- Geometry ----------------------------------------------------------------------------

void TLN_Knob::resizeEvent(QResizeEvent* event) {
  // The knob stays square.
  if (width() != height()) {
    const int side = std::min(width(), height());
    resize(side, side);
  }
  UpdateGeometry();
  QWidget::resizeEvent(event);
}

void TLN_Knob::UpdateGeometry() {
  fDiameter = std::min(width(), height());
  fRadius = fDiameter / 2;
  fCenter = fDiameter / 2;
}

int TLN_Knob::PointerAngle(QPoint p) const {
  const int c = fCenter;
  if (p.x() == c) return p.y() > c ? 90 : 270;
  const double degrees = std::atan2(double(c - p.y()), double(c - p.x())) * 180 / std::numbers::pi;
  return Normalized(int(std::nearbyint(degrees)) + 180);
}

bool TLN_Knob::InsideFace(QPoint p) const {
  const int dx = p.x() - fCenter;
  const int dy = p.y() - fCenter;
  return dx * dx + dy * dy <= fRadius * fRadius;
}

// ---- Mouse -------------------------------------------------------------------------------

void TLN_Knob::mousePressEvent(QMouseEvent* event) {
  const QPoint p = event->position().toPoint();
  if (event->button() != Qt::LeftButton || !InsideFace(p)) return;
  setFocus(Qt::MouseFocusReason);
  fPrevMouseAngle = PointerAngle(p);
  fMouseDown = true;
  fPrevAngle = fAngle;
}

void TLN_Knob::mouseMoveEvent(QMouseEvent* event) {
  if (!fMouseDown) return;
  const QPoint p = event->position().toPoint();
  const int dx = p.x() - fCenter;
  const int dy = p.y() - fCenter;
  // At the centre the pointer has no direction: the drag ends there.
  if (dx * dx + dy * dy < 25) {
    EndDrag();
    return;
  }
  Drag(p);
}

void TLN_Knob::Drag(QPoint p) {
  const int d = PointerAngle(p);
  const int e = Normalized(d + fPrevAngle - fPrevMouseAngle);
  int t = fTurn;
  if (e < 90 && fAngle > 270) {
    // Clockwise through 3 o'clock: the next turn, unless this is the last one.
    if (t >= fTurnsCount - 1) return;
    ++t;
  } else if (e > 270 && fAngle < 90) {
    if (t <= 0) return;
    --t;
  }
  fPrevAngle = e;
  fPrevMouseAngle = d;
  const int64_t candidate =
      fAngleInterval > 0 ? int64_t(std::nearbyint(e / fAngleInterval)) + fMin + int64_t(t) * fSteps
                         : fMin;
  // Half a turn or more in one move is a jump, not a turn.
  const int64_t distance = candidate > fPosition ? candidate - fPosition : fPosition - candidate;
  if (candidate < fMin || candidate >= fMax || candidate == fPosition || distance >= fSteps / 2)
    return;
  SetPosition(int32_t(candidate));
  fTurn = t;
  fDragging = true;
}

void TLN_Knob::mouseReleaseEvent(QMouseEvent* event) {
  // Only a press the knob took counts as a click; a drag the centre ended is over.
  if (fMouseDown && !fDragging) ClickAt(event->position().toPoint(), event->modifiers());
  EndDrag();
}

void TLN_Knob::ClickAt(QPoint p, Qt::KeyboardModifiers shift) {
  const int a = PointerAngle(p);
  const int delta = std::abs(fAngle - a);
  if (delta == 0) return;
  if (delta >= 30 && delta <= 330) {
    const bool ahead =
        fAngle > 180 ? (a >= fAngle || a <= fAngle - 180) : (fAngle < a && a < fAngle + 180);
    if (ahead)
      Increment(shift);
    else
      Decrement(shift);
    return;
  }
  // Close to the indicator: it follows the click within the present turn.
  fPrevAngle = fAngle;
  fPrevMouseAngle = fAngle;
  Drag(p);
}

void TLN_Knob::EndDrag() {
  fMouseDown = false;
  fDragging = false;
}

// ---- Keys, wheel, focus ------------------------------------------------------------------

void TLN_Knob::keyPressEvent(QKeyEvent* event) {
  const Qt::KeyboardModifiers shift = event->modifiers();
  switch (event->key()) {
    case Qt::Key_PageUp:
      Increment(shift | Qt::ShiftModifier);
      break;
    case Qt::Key_PageDown:
      Decrement(shift | Qt::ShiftModifier);
      break;
    case Qt::Key_Home:
      SetPosition(fMin);
      break;
    case Qt::Key_Left:
    case Qt::Key_Down:
      Decrement(shift);
      break;
    case Qt::Key_Right:
    case Qt::Key_Up:
      Increment(shift);
      break;
    default:
      QWidget::keyPressEvent(event);
  }
}

void TLN_Knob::wheelEvent(QWheelEvent* event) {
  // Fine-grained wheels send fractions of a notch; one step per whole notch.
  const QPoint delta = event->angleDelta();
  fWheelDelta += delta.y() != 0 ? delta.y() : delta.x();
  for (; fWheelDelta >= kWheelDelta; fWheelDelta -= kWheelDelta) Increment(event->modifiers());
  for (; fWheelDelta <= -kWheelDelta; fWheelDelta += kWheelDelta) Decrement(event->modifiers());
  // The window may act on the wheel too.
  event->ignore();
}

void TLN_Knob::focusInEvent(QFocusEvent* event) {
  if (fShowFocusedState) update();
  QWidget::focusInEvent(event);
}

void TLN_Knob::focusOutEvent(QFocusEvent* event) {
  EndDrag();
  if (fSpringLoaded) SetPosition(0);
  if (fShowFocusedState) update();
  QWidget::focusOutEvent(event);
}
