#pragma once
// A row of digits and point LEDs on a plain parent, bound to an indicator, with a hand-driven
// flash clock: what every indicator test starts from.

#include <QWidget>

#include <memory>
#include <vector>

#include "panel/Indicator.h"

class TManualTimer final : public TIndicatorTimer {
 public:
  void Start(int interval) override {
    Interval = interval;
    Running = true;
  }
  void Stop() override { Running = false; }
  bool Active() const override { return Running; }
  // One period passes.
  void Elapse() {
    Running = false;
    if (OnTimer) OnTimer();
  }

  int Interval = 0;
  bool Running = false;
};

struct TPanelRow {
  TPanelRow(uint32_t minValue, uint32_t maxValue, uint32_t dataLen, uint32_t pointPos)
      : Indicator(minValue, maxValue, dataLen, pointPos, &Value) {
    auto timer = std::make_unique<TManualTimer>();
    Clock = timer.get();
    Indicator.SetTimer(std::move(timer));
    for (uint32_t i = 1; i <= dataLen; ++i) {
      auto* digit = new TdsSevenSegmentDisplay(&Parent);
      digit->setObjectName(QString("Seg%1").arg(i));
      digit->SetTag(static_cast<int>(i));
      Indicator.Digit[i] = digit;
    }
    for (int i = 1; i <= 2; ++i) Indicator.PointLed[i] = new TdsLed(&Parent);
  }

  // Digit codes from the leftmost digit to the rightmost.
  std::vector<uint32_t> Shown() const {
    std::vector<uint32_t> codes;
    for (uint32_t i = Indicator.DataLen; i >= 1; --i) codes.push_back(Indicator.Digit[i]->Value());
    return codes;
  }
  void Show(uint32_t value) {
    Value = value;
    Indicator.UpdateDigits();
  }
  bool LedShown(int i) const { return !Indicator.PointLed[i]->isHidden(); }

  QWidget Parent;
  uint32_t Value = 0;
  TIndicator Indicator;
  TManualTimer* Clock = nullptr;
};

inline constexpr uint32_t B = 10;  // blank digit
inline constexpr uint32_t Bar = 11;
