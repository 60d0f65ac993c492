#include "autotest/TestUnit.h"

TTestForm::TTestForm(QWidget* parent) : QWidget(parent) {
  setObjectName("TestForm");
  setWindowTitle("Auto Test");
}
