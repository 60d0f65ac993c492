#pragma once
// Pop-up entry of a value of up to four digits (profile, parameters, auto-test steps, battery
// settings).

#include "panel/EnterFormBase.h"

class TEnterForm : public TEnterFormBase {
  Q_OBJECT
 public:
  explicit TEnterForm(QWidget* parent = nullptr);

 protected:
  void ShowPoint(uint32_t pointPos) override;

 private:
  // PointLed1 .. PointLed3: the dots after digits 2, 3 and 4.
  std::array<TdsLed*, 4> PointLed{};
};
