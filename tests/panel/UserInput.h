#pragma once
// Input as the window system delivers it: QTest has no wheel, and a wheel event that the
// application sends itself never travels on to the parent, while a real one does.

#include <QApplication>
#include <QSpontaneKeyEvent>
#include <QWheelEvent>
#include <QWidget>

// One notch of the wheel (delta +120 away from the user, -120 towards) over pos of target.
inline void TurnWheel(QWidget* target, QPoint pos, int delta,
                      Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
  QWheelEvent event(QPointF(pos), QPointF(target->mapToGlobal(pos)), QPoint(), QPoint(0, delta),
                    Qt::NoButton, modifiers, Qt::NoScrollPhase, false);
  // Delivered as QTest delivers its mouse events: sendEvent would mark it as the program's own.
  QSpontaneKeyEvent::setSpontaneous(&event);
  qApp->notify(target, &event);
}
