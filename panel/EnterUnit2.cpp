#include "panel/EnterUnit2.h"

namespace {
constexpr int kSeg4X = 34;
// With the point after the fifth digit the fourth makes room for the dot.
constexpr int kSeg4PastPointX = 42;
constexpr int kPointAfter4X = 56;
constexpr int kPointAfter5X = 34;
}  // namespace

TEnterForm2::TEnterForm2(QWidget* parent)
    : TEnterFormBase(parent, "EnterForm2", {QSize(191, 40), {11, kSeg4X, 65, 88, 111}, 134, 153}) {
  PointLed3 = AddPointLed("PointLed3", kPointAfter4X);
}

void TEnterForm2::ShowPoint(uint32_t pointPos) {
  Seg(4)->move(pointPos == 5 ? kSeg4PastPointX : kSeg4X, kDigitY);
  PointLed3->move(pointPos == 5 ? kPointAfter5X : kPointAfter4X, kPointY);
  PointLed3->setVisible(pointPos == 4 || pointPos == 5);
}
