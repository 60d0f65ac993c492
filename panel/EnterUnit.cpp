#include "panel/EnterUnit.h"

TEnterForm::TEnterForm(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint) {
  setObjectName("EnterForm");
}
