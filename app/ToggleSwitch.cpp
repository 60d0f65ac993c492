#include "app/ToggleSwitch.h"

#include <QPainter>
#include <QPainterPath>

namespace {
constexpr int kTrackWidth = 34;
constexpr int kTrackHeight = 16;
}  // namespace

TToggleSwitch::TToggleSwitch(const QString& name, const QString& caption, QWidget* parent)
    : QAbstractButton(parent) {
  setObjectName(name);
  setText(caption);
  setCheckable(true);
  setCursor(Qt::PointingHandCursor);
  connect(this, &QAbstractButton::toggled, this, [this] {
    if (OnClick) OnClick();
  });
}

void TToggleSwitch::SetStateCaptions(const QString& onText, const QString& offText) {
  fOnText = onText;
  fOffText = offText;
  update();
}

QSize TToggleSwitch::sizeHint() const {
  return {kTrackWidth + 8 + fontMetrics().horizontalAdvance(text() + "  Hold"), kTrackHeight + 4};
}

void TToggleSwitch::paintEvent(QPaintEvent*) {
  QPainter p(this);
  p.setRenderHint(QPainter::Antialiasing);
  const QRectF track(1, (height() - kTrackHeight) / 2.0, kTrackWidth, kTrackHeight);
  const bool on = isChecked();
  QColor fill = on ? QColor(0x2E, 0x9B, 0xFF) : QColor(0x55, 0x55, 0x55);
  if (!isEnabled()) fill = fill.darker(160);
  p.setPen(QPen(QColor(0x20, 0x20, 0x20), 1));
  p.setBrush(fill);
  p.drawRoundedRect(track, kTrackHeight / 2.0, kTrackHeight / 2.0);
  const double knob = kTrackHeight - 4;
  const double x = on ? track.right() - knob - 2 : track.left() + 2;
  p.setBrush(isEnabled() ? QColor(0xF0, 0xF0, 0xF0) : QColor(0x90, 0x90, 0x90));
  p.drawEllipse(QRectF(x, track.top() + 2, knob, knob));

  QString caption = text();
  const QString& state = on ? fOnText : fOffText;
  if (!state.isEmpty()) caption = caption.isEmpty() ? state : caption + "  " + state;
  p.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled,
                           QPalette::WindowText));
  p.drawText(QRect(kTrackWidth + 8, 0, width() - kTrackWidth - 8, height()),
             Qt::AlignVCenter | Qt::AlignLeft, caption);
}
