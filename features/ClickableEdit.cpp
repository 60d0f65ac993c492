#include "features/ClickableEdit.h"

#include <QMouseEvent>

TClickableEdit::TClickableEdit(const QString& name, int tag, const QString& hint, QWidget* parent)
    : QLineEdit(parent), fTag(tag) {
  setObjectName(name);
  setToolTip(hint);
  setProperty("Tag", tag);
  setReadOnly(true);
  setAlignment(Qt::AlignRight);
  setCursor(Qt::PointingHandCursor);
}

void TClickableEdit::mousePressEvent(QMouseEvent* event) {
  if (event->button() == Qt::LeftButton && isEnabled() && OnClick) {
    OnClick(this);
    event->accept();
    return;
  }
  QLineEdit::mousePressEvent(event);
}
