#include "autotest/TestGrid.h"

#include <QApplication>
#include <QHeaderView>
#include <QMouseEvent>
#include <QPainter>
#include <QStyleOption>
#include <QStyledItemDelegate>

namespace {
constexpr int kEnabledRole = Qt::UserRole;

// Paints the step's Enabled flag as a check box centred in its cell.
class TCheckBoxDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;
  void paint(QPainter* painter, const QStyleOptionViewItem& option,
             const QModelIndex& index) const override {
    QStyleOptionViewItem background = option;
    initStyleOption(&background, index);
    QStyle* style = background.widget ? background.widget->style() : QApplication::style();
    style->drawPrimitive(QStyle::PE_PanelItemViewItem, &background, painter, background.widget);
    QStyleOptionButton box;
    const QRect indicator =
        style->subElementRect(QStyle::SE_CheckBoxIndicator, &box, background.widget);
    const QRect& cell = option.rect;
    box.rect = QRect((cell.left() + cell.right() - indicator.width() + 1) / 2,
                     (cell.top() + cell.bottom() - indicator.height() + 1) / 2, indicator.width(),
                     indicator.height());
    box.state = QStyle::State_Enabled | (index.data(kEnabledRole).toBool() ? QStyle::State_On
                                                                            : QStyle::State_Off);
    if (!(option.state & QStyle::State_Enabled)) box.state &= ~QStyle::State_Enabled;
    style->drawPrimitive(QStyle::PE_IndicatorCheckBox, &box, painter, background.widget);
  }
};
}  // namespace

TTestGrid::TTestGrid(QWidget* parent) : QTableWidget(0, 5, parent) {
  setObjectName("StringGrid1");
  setHorizontalHeaderLabels({QString(), "U set, V", "I set, A", "P set, W", "Time, s"});
  verticalHeader()->hide();
  setEditTriggers(QAbstractItemView::NoEditTriggers);
  setSelectionMode(QAbstractItemView::SingleSelection);
  setSelectionBehavior(QAbstractItemView::SelectItems);
  setItemDelegateForColumn(EnabledColumn, new TCheckBoxDelegate(this));
  horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
  // The check box column is square.
  horizontalHeader()->setSectionResizeMode(EnabledColumn, QHeaderView::Fixed);
  setColumnWidth(EnabledColumn, verticalHeader()->defaultSectionSize());
  connect(this, &QTableWidget::cellClicked, this, [this](int row, int column) {
    if (column != EnabledColumn && column != PowerColumn && OnSelectCell) OnSelectCell(row, column);
  });
}

void TTestGrid::SetStepCount(int count) {
  const int before = rowCount();
  setRowCount(count);
  for (int row = before; row < count; ++row)
    for (int column = 0; column < columnCount(); ++column) {
      auto* item = new QTableWidgetItem;
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      setItem(row, column, item);
    }
}

void TTestGrid::ShowStep(int step, const QStringList& texts, bool enabled) {
  item(step, EnabledColumn)->setData(kEnabledRole, enabled);
  for (int column = UsetColumn; column <= TimeColumn; ++column)
    item(step, column)->setText(texts.value(column - UsetColumn));
}

bool TTestGrid::StepEnabledShown(int step) const {
  return item(step, EnabledColumn)->data(kEnabledRole).toBool();
}

QRect TTestGrid::CellScreenRect(int step, int column) const {
  const QRect cell = visualRect(model()->index(step, column));
  return QRect(viewport()->mapToGlobal(cell.topLeft()), cell.size());
}

void TTestGrid::mousePressEvent(QMouseEvent* event) {
  const QModelIndex index = indexAt(event->position().toPoint());
  const bool plainLeft = event->button() == Qt::LeftButton && event->buttons() == Qt::LeftButton &&
                         event->modifiers() == Qt::NoModifier;
  if (plainLeft && index.isValid() && index.column() == EnabledColumn && OnToggleEnabled)
    OnToggleEnabled(index.row());
  QTableWidget::mousePressEvent(event);
}
