#include "advanced/AdvancedUnit.h"

TAdvancedForm::TAdvancedForm(QWidget* parent) : QWidget(parent) {
  setObjectName("AdvancedForm");
  setWindowTitle("Advanced Parameters");
}
