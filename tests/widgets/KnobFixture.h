#pragma once
// Knobs set up the way the main window shows them, on a panel like the set-point area.

#include <QColor>
#include <QWidget>

#include <memory>

#include "widgets/LN_Knob.h"

namespace kelvora::test {

// The voltage knob of the main window: 95 x 95, 10 ... 5100, lamp indicator.
void SetUpVoltageKnob(TLN_Knob& knob);

// A dark panel with one knob at (10, 10).
struct TKnobPanel {
  std::unique_ptr<QWidget> Panel;
  TLN_Knob* Knob = nullptr;
};
TKnobPanel MakeKnobPanel(int side = 95);

// Position that puts the indicator of a Min 10 / Max 5100 knob at the given angle in turn 0.
int PositionAtAngle(const TLN_Knob& knob, int degrees);

}  // namespace kelvora::test
