#pragma once
// Pop-up value entry window.

#include <QWidget>

class TEnterForm2 : public QWidget {
  Q_OBJECT
 public:
  explicit TEnterForm2(QWidget* parent = nullptr);
};
