#include "advanced/ValuePanel.h"

#include <QMouseEvent>
#include <QPalette>

#include "advanced/ColorBox.h"

TValuePanel::TValuePanel(const QString& aName, int aTag, const QString& aHint, QWidget* parent)
    : QLabel(parent), fTag(aTag) {
  setObjectName(aName);
  setToolTip(aHint);
  setProperty("Tag", aTag);
  setFrameStyle(QFrame::Panel | QFrame::Sunken);
  setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  setCursor(Qt::PointingHandCursor);
  setAutoFillBackground(true);
  SetColor(fColor);
}

void TValuePanel::SetColor(uint32_t aColor) {
  fColor = aColor;
  QPalette p = palette();
  p.setColor(QPalette::Window, BgrToQColor(aColor));
  p.setColor(QPalette::WindowText, Qt::black);
  setPalette(p);
}

void TValuePanel::mousePressEvent(QMouseEvent* aEvent) {
  if (aEvent->button() == Qt::LeftButton && isEnabled() && OnClick) {
    OnClick(this);
    aEvent->accept();
    return;
  }
  QLabel::mousePressEvent(aEvent);
}
