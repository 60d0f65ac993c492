#include "advanced/ColorBox.h"

#include <QComboBox>
#include <QPixmap>

namespace {

QIcon Swatch(uint32_t aColor) {
  QPixmap pixmap(16, 12);
  pixmap.fill(BgrToQColor(aColor));
  return QIcon(pixmap);
}

void AddColor(QComboBox* aBox, const QString& aText, uint32_t aColor) {
  aBox->addItem(Swatch(aColor), aText, QVariant::fromValue(aColor));
}

}  // namespace

QColor BgrToQColor(uint32_t aColor) {
  return QColor(static_cast<int>(aColor & 0xFF), static_cast<int>((aColor >> 8) & 0xFF),
                static_cast<int>((aColor >> 16) & 0xFF));
}

uint32_t QColorToBgr(const QColor& aColor) {
  return static_cast<uint32_t>(aColor.red()) | (static_cast<uint32_t>(aColor.green()) << 8) |
         (static_cast<uint32_t>(aColor.blue()) << 16);
}

void FillNamedColors(QComboBox* aBox) {
  for (const QString& name : QColor::colorNames()) {
    const QColor color = QColor::fromString(name);
    // "transparent" names no colour a display can show.
    if (color.alpha() != 255) continue;
    AddColor(aBox, name, QColorToBgr(color));
  }
}

void UpdateColorBox(QComboBox* aBox, uint32_t aColor) {
  for (int i = 0; i < aBox->count(); ++i) {
    if (aBox->itemData(i).toUInt() == aColor) {
      aBox->setCurrentIndex(i);
      return;
    }
  }
  AddColor(aBox, QStringLiteral("RGB %1").arg(aColor & 0xFFFFFF, 6, 16, QChar('0')).toUpper(), aColor);
  aBox->setCurrentIndex(aBox->count() - 1);
}

uint32_t SelectedColor(const QComboBox* aBox) {
  return aBox->currentIndex() < 0 ? 0 : aBox->currentData().toUInt();
}
