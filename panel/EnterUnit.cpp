#include "panel/EnterUnit.h"

TEnterForm::TEnterForm(QWidget* parent)
    : TEnterFormBase(parent, "EnterForm", {QSize(185, 40), {8, 39, 71, 104}, 127, 146}) {
  PointLed[1] = AddPointLed("PointLed1", 95);
  PointLed[2] = AddPointLed("PointLed2", 62);
  PointLed[3] = AddPointLed("PointLed3", 30);
}

void TEnterForm::ShowPoint(uint32_t pointPos) {
  for (uint32_t i = 1; i <= 3; ++i) PointLed[i]->setVisible(pointPos == i + 1);
}
