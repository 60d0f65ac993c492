#pragma once
// Pop-up value entry window.

#include <QWidget>

class TEnterForm : public QWidget {
  Q_OBJECT
 public:
  explicit TEnterForm(QWidget* parent = nullptr);
};
