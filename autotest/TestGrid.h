#pragma once
// The step grid: one row per step under a header row, a check box column for the step's
// Enabled flag and four right-aligned value columns. Cells are not edited in place: a click on
// a value cell and a left click on a check box are handed to the owner.

#include <QStringList>
#include <QTableWidget>

#include <functional>

class TTestGrid : public QTableWidget {
  Q_OBJECT
 public:
  enum TColumn { EnabledColumn = 0, UsetColumn, IsetColumn, PowerColumn, TimeColumn };

  explicit TTestGrid(QWidget* parent = nullptr);

  void SetStepCount(int count);
  // texts: the four value columns.
  void ShowStep(int step, const QStringList& texts, bool enabled);
  bool StepEnabledShown(int step) const;
  // The screen rectangle of a cell.
  QRect CellScreenRect(int step, int column) const;

  // A left press without other buttons or modifier keys on a step's check box.
  std::function<void(int step)> OnToggleEnabled;
  // A value cell was selected by a click.
  std::function<void(int step, int column)> OnSelectCell;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
};
