#include "app/FocusedPanel.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

TLN_FocusedPanel::TLN_FocusedPanel(const QString& name, QWidget* parent) : QFrame(parent) {
  setObjectName(name);
  setFocusPolicy(Qt::ClickFocus);
  setAutoFillBackground(true);
  QPalette p = palette();
  p.setColor(QPalette::Window, Qt::black);
  setPalette(p);
}

void TLN_FocusedPanel::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && OnClick) OnClick();
  QFrame::mousePressEvent(event);
}

void TLN_FocusedPanel::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Left || key == Qt::Key_Right || key == Qt::Key_Up || key == Qt::Key_Down) {
    if (OnKeyDown) OnKeyDown(key);
    event->accept();
    return;
  }
  const QString text = event->text();
  if (text.size() == 1 && OnKeyPress) {
    OnKeyPress(text[0]);
    event->accept();
    return;
  }
  QFrame::keyPressEvent(event);
}

void TLN_FocusedPanel::focusInEvent(QFocusEvent* event) {
  QFrame::focusInEvent(event);
  update();
}

void TLN_FocusedPanel::focusOutEvent(QFocusEvent* event) {
  QFrame::focusOutEvent(event);
  update();
}

void TLN_FocusedPanel::paintEvent(QPaintEvent* event) {
  QFrame::paintEvent(event);
  if (!hasFocus()) return;
  QPainter p(this);
  p.setPen(QPen(QColor(0x00, 0x60, 0xBF), 1, Qt::DotLine));
  p.drawRect(rect().adjusted(1, 1, -2, -2));
}
