#pragma once
// The advanced window: calibration, battery source, colours, logging options, update and help.

#include <QWidget>

class TAdvancedForm : public QWidget {
  Q_OBJECT
 public:
  explicit TAdvancedForm(QWidget* parent = nullptr);
};
