#include "panel/dsControl.h"

#include <QMouseEvent>

QColor ColorFromBgr(uint32_t color) {
  return QColor(color & 0xFF, (color >> 8) & 0xFF, (color >> 16) & 0xFF);
}

TdsGraphicControl::TdsGraphicControl(QWidget* parent) : QWidget(parent) {}

bool TdsGraphicControl::HandlesMouse() const {
  return fOnClick || fOnDblClick || fOnMouseDown || fOnMouseUp || fOnMouseMove;
}

void TdsGraphicControl::mousePressEvent(QMouseEvent* event) {
  if (!HandlesMouse()) {
    event->ignore();
    return;
  }
  fPressed = event->button() == Qt::LeftButton;
  const QPoint p = event->position().toPoint();
  if (fOnMouseDown) fOnMouseDown(this, event->button(), event->modifiers(), p.x(), p.y());
}

void TdsGraphicControl::mouseReleaseEvent(QMouseEvent* event) {
  if (!HandlesMouse()) {
    event->ignore();
    return;
  }
  const QPoint p = event->position().toPoint();
  if (fOnMouseUp) fOnMouseUp(this, event->button(), event->modifiers(), p.x(), p.y());
  // A click is a left press and release over the control, as with a push button.
  const bool clicked = fPressed && event->button() == Qt::LeftButton && rect().contains(p);
  fPressed = false;
  if (clicked && fOnClick) fOnClick(this);
}

void TdsGraphicControl::mouseDoubleClickEvent(QMouseEvent* event) {
  if (!HandlesMouse()) {
    event->ignore();
    return;
  }
  // Without a double-click handler a quick second press is just another press.
  if (!fOnDblClick) {
    mousePressEvent(event);
    return;
  }
  fPressed = false;
  fOnDblClick(this);
}

void TdsGraphicControl::mouseMoveEvent(QMouseEvent* event) {
  if (!HandlesMouse()) {
    event->ignore();
    return;
  }
  const QPoint p = event->position().toPoint();
  if (fOnMouseMove) fOnMouseMove(this, event->modifiers(), p.x(), p.y());
}
