#pragma once
// The auto-test window: a table of voltage, current and duration steps run against the supply.

#include <QWidget>

class TTestForm : public QWidget {
  Q_OBJECT
 public:
  explicit TTestForm(QWidget* parent = nullptr);
};
