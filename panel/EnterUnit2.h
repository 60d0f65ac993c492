#pragma once
// Pop-up entry of a value of up to five digits (calibration values).

#include "panel/EnterFormBase.h"

class TEnterForm2 : public TEnterFormBase {
  Q_OBJECT
 public:
  explicit TEnterForm2(QWidget* parent = nullptr);

 protected:
  void ShowPoint(uint32_t pointPos) override;

 private:
  TdsLed* PointLed3;
};
