#include "app/PortComboBox.h"

#include <QStyledItemDelegate>
#include <QStylePainter>

#include "host/PortDiscovery.h"

QString PortDisplayText(const QString& entry) {
  const QString port = PortNameOf(entry);
  const qsizetype slash = port.lastIndexOf('/');
  if (slash < 0) return entry;
  return port.mid(slash + 1) + entry.mid(port.size());
}

namespace {
class TPortItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  QString displayText(const QVariant& value, const QLocale&) const override {
    return PortDisplayText(value.toString());
  }
};
}  // namespace

TPortComboBox::TPortComboBox(const QString& name, QWidget* parent) : QComboBox(parent) {
  setObjectName(name);
  setItemDelegate(new TPortItemDelegate(this));
}

void TPortComboBox::paintEvent(QPaintEvent*) {
  QStylePainter painter(this);
  QStyleOptionComboBox option;
  initStyleOption(&option);
  option.currentText = PortDisplayText(option.currentText);
  painter.drawComplexControl(QStyle::CC_ComboBox, option);
  painter.drawControl(QStyle::CE_ComboBoxLabel, option);
}
