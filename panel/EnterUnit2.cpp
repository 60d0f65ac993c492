#include "panel/EnterUnit2.h"

TEnterForm2::TEnterForm2(QWidget* parent) : QWidget(parent, Qt::Tool | Qt::FramelessWindowHint) {
  setObjectName("EnterForm2");
}
