#include "tests/widgets/KnobFixture.h"

#include <QPalette>

#include <cmath>

namespace kelvora::test {

void SetUpVoltageKnob(TLN_Knob& knob) {
  knob.setObjectName("U_Knob");
  knob.resize(95, 95);
  knob.UpdateMinMax(10, 5100);
  knob.UpdatePosition(10);
  knob.SetIndicatorType(TLN_Knob::TIndicatorType::it_Circle);
  knob.SetLineColor(Qt::red);
  knob.SetLineLength(12);
  knob.SetLineWidth(2);
  knob.SetColor(QColor(0x80, 0x80, 0x80));
  knob.SetTransparent(true);
  knob.SetFace3D(true);
  knob.SetOnColor(QColor(0xFF, 0x86, 0x0D));
  knob.SetOffColor(QColor(0x80, 0x80, 0x80));
  knob.SetDisabledBorderColor(QColor(0x3F, 0x3F, 0x3F));
  knob.SetFocusedBorderColor(QColor(0xBF, 0x60, 0x00));
  knob.SetUnfocusedBorderColor(QColor(0xAE, 0x38, 0x00));
  knob.setCursor(Qt::PointingHandCursor);
}

TKnobPanel MakeKnobPanel(int side) {
  TKnobPanel result;
  result.Panel = std::make_unique<QWidget>();
  result.Panel->resize(side + 20, side + 20);
  QPalette palette = result.Panel->palette();
  palette.setColor(QPalette::Window, QColor(0x2B, 0x2E, 0x33));
  result.Panel->setPalette(palette);
  result.Panel->setAutoFillBackground(true);
  result.Knob = new TLN_Knob(result.Panel.get());  // owned by the panel
  SetUpVoltageKnob(*result.Knob);
  result.Knob->setGeometry(10, 10, side, side);
  return result;
}

int PositionAtAngle(const TLN_Knob& knob, int degrees) {
  return knob.Min() + int(std::lround(degrees / knob.AngleInterval()));
}

}  // namespace kelvora::test
