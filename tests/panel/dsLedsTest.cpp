#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>

#include "panel/dsLeds.h"
#include "tests/panel/UserInput.h"

namespace {

// Counts the paint events a control receives.
class TPaintCounter : public QObject {
 public:
  explicit TPaintCounter(QWidget* w) { w->installEventFilter(this); }
  bool eventFilter(QObject*, QEvent* e) override {
    if (e->type() == QEvent::Paint) ++Count;
    return false;
  }
  int Count = 0;
};

QPolygon Points(std::initializer_list<QPoint> points) { return QPolygon(QList<QPoint>(points)); }

// What the control itself paints, on a transparent ground.
QRgb PixelAt(QWidget& w, int x, int y) {
  QImage image(w.size(), QImage::Format_ARGB32);
  image.fill(Qt::transparent);
  w.render(&image, QPoint(), QRegion(), QWidget::RenderFlags());
  return image.pixel(x, y);
}

}  // namespace

TEST(SevenSegment, DigitCodesLightTheRightSegments) {
  const uint8_t expected[] = {0x77, 0x24, 0x5D, 0x6D, 0x2E, 0x6B, 0x7B, 0x25, 0x7F, 0x6F};
  for (uint32_t v = 0; v <= 9; ++v) EXPECT_EQ(DigitSegments(v), expected[v]) << v;
  EXPECT_EQ(DigitSegments(10), 0);
  EXPECT_EQ(DigitSegments(11), 1 << tsMiddle);
  for (uint32_t v : {12u, 13u, 1000u, 0xFFFFFFFFu}) EXPECT_EQ(DigitSegments(v), 0x5B) << v;
}

TEST(SevenSegment, SegmentsAreScaledFromTheGridWithHalvesToEven) {
  EXPECT_EQ(SegmentPolygon(tsTop, 33, 49, 4), Points({{3, 1}, {30, 1}, {23, 6}, {10, 6}}));
  // y = 19 x 49/38 = 24.5 exactly, which rounds down to the even 24.
  EXPECT_EQ(SegmentPolygon(tsMiddle, 33, 49, 4),
            Points({{3, 24}, {7, 22}, {26, 22}, {30, 24}, {26, 27}, {7, 27}}));
  EXPECT_EQ(SegmentPolygon(tsLowerRight, 17, 25, 4),
            Points({{16, 13}, {16, 24}, {13, 21}, {13, 16}}));
}

TEST(SevenSegment, DefaultsMatchTheToolbox) {
  TdsSevenSegmentDisplay d;
  EXPECT_EQ(d.size(), QSize(40, 76));
  EXPECT_EQ(d.SegmentWidth(), 4);
  EXPECT_EQ(d.BackColor(), 0x808080u);
  EXPECT_EQ(d.OnColor(), 0x000000u);
  EXPECT_EQ(d.OffColor(), 0xC0C0C0u);
  EXPECT_EQ(d.Segments(), 0);
  EXPECT_EQ(d.Value(), 0u);
}

TEST(SevenSegment, RepaintsAndNotifiesOnlyOnRealChange) {
  QWidget panel;
  auto* d = new TdsSevenSegmentDisplay(&panel);
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
  QApplication::processEvents();
  TPaintCounter paints(d);
  int changes = 0;
  d->SetOnChange([&](void* sender) {
    EXPECT_EQ(sender, d);
    ++changes;
  });

  d->SetValue(12);
  QApplication::processEvents();
  d->SetValue(13);  // another E: same pattern
  QApplication::processEvents();
  EXPECT_EQ(paints.Count, 1);
  EXPECT_EQ(changes, 1);

  d->SetOnColor(d->OnColor());
  d->SetSegmentWidth(4);
  QApplication::processEvents();
  EXPECT_EQ(paints.Count, 1);

  d->SetOnColor(0x00FF00);  // a colour repaints but is no change of the digit
  QApplication::processEvents();
  EXPECT_EQ(paints.Count, 2);
  EXPECT_EQ(changes, 1);
}

TEST(SevenSegment, NewDigitShowsAZeroWrittenToIt) {
  TdsSevenSegmentDisplay d;
  int changes = 0;
  d.SetOnChange([&](void*) { ++changes; });
  ASSERT_EQ(d.Value(), 0u);
  d.SetValue(0);  // holds 0 already, yet lights nothing
  EXPECT_EQ(d.Segments(), 0x77);
  d.SetValue(0);
  EXPECT_EQ(changes, 1);
}

TEST(SevenSegment, PaintsLitAndUnlitSegmentsInTheirColours) {
  TdsSevenSegmentDisplay d;
  d.resize(33, 49);
  d.SetBackColor(0x000000);
  d.SetOnColor(0x0000FF);   // red
  d.SetOffColor(0x202020);
  d.SetValue(1);
  EXPECT_EQ(PixelAt(d, 29, 10), qRgb(255, 0, 0));   // upper right, lit
  EXPECT_EQ(PixelAt(d, 16, 3), qRgb(32, 32, 32));   // top, unlit
  EXPECT_EQ(PixelAt(d, 16, 15), qRgb(0, 0, 0));     // inside the 0: background
}

TEST(SevenSegment, WheelGoesToTheWindowUnlessAHandlerTakesIt) {
  struct TWindow : QWidget {
    int Wheels = 0;
    void wheelEvent(QWheelEvent*) override { ++Wheels; }
  } window;
  auto* d = new TdsSevenSegmentDisplay(&window);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  auto turn = [&](int delta) { TurnWheel(d, QPoint(5, 5), delta); };
  turn(120);
  EXPECT_EQ(window.Wheels, 1);

  int ups = 0, downs = 0;
  d->SetOnMouseWheelUp([&](void*, Qt::KeyboardModifiers, QPoint, bool& handled) {
    ++ups;
    handled = true;
  });
  d->SetOnMouseWheelDown([&](void*, Qt::KeyboardModifiers, QPoint, bool&) { ++downs; });
  turn(120);
  turn(-120);  // seen but not handled: the window gets it too
  EXPECT_EQ(ups, 1);
  EXPECT_EQ(downs, 1);
  EXPECT_EQ(window.Wheels, 2);
}

TEST(SevenSegment, ClickNeedsPressAndReleaseOverTheDigit) {
  TdsSevenSegmentDisplay d;
  d.resize(17, 25);
  int clicks = 0;
  d.SetOnClick([&](void*) { ++clicks; });
  QTest::mouseClick(&d, Qt::LeftButton, {}, QPoint(8, 12));
  EXPECT_EQ(clicks, 1);
  QTest::mousePress(&d, Qt::LeftButton, {}, QPoint(8, 12));
  QTest::mouseRelease(&d, Qt::LeftButton, {}, QPoint(40, 12));  // dragged off
  EXPECT_EQ(clicks, 1);
  QTest::mouseClick(&d, Qt::RightButton, {}, QPoint(8, 12));
  EXPECT_EQ(clicks, 1);
}

TEST(Led, SwitchingRepaintsAndNotifiesOnlyOnRealChange) {
  QWidget panel;
  auto* led = new TdsLed(&panel);
  EXPECT_EQ(led->size(), QSize(24, 24));
  EXPECT_FALSE(led->LedOn());
  panel.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&panel));
  QApplication::processEvents();
  TPaintCounter paints(led);
  int changes = 0;
  led->SetOnChange([&](void*) { ++changes; });
  led->SetLedOn(false);
  led->SetOffColor(0x0000FF);
  QApplication::processEvents();
  EXPECT_EQ(paints.Count, 0);
  led->SetLedOn(true);
  QApplication::processEvents();
  EXPECT_EQ(paints.Count, 1);
  EXPECT_EQ(changes, 1);
}

TEST(Led, RoundLampHasAWhiteGlossUpperLeft) {
  TdsLed led;
  led.SetOnColor(0x00FF00);
  led.SetLedOn(true);
  EXPECT_EQ(PixelAt(led, 7, 7), qRgb(255, 255, 255));
  EXPECT_EQ(PixelAt(led, 16, 16), qRgb(0, 255, 0));
  EXPECT_EQ(qAlpha(PixelAt(led, 0, 0)), 0);  // outside the circle nothing is painted
  led.SetLedOn(false);
  EXPECT_EQ(PixelAt(led, 16, 16), qRgb(255, 0, 0));  // default off colour is red

  const TdsLedHighlight gloss = LedHighlight(24, 24);
  EXPECT_EQ(gloss.Bounds, QRect(4, 4, 16, 16));
  EXPECT_EQ(gloss.Start, QPoint(14, 4));
  EXPECT_EQ(gloss.End, QPoint(4, 14));
}

TEST(Led, TinyPointLampHasNoInset) {
  const TdsLedHighlight gloss = LedHighlight(3, 3);
  EXPECT_EQ(gloss.Bounds, QRect(0, 0, 3, 3));
  EXPECT_EQ(gloss.Start, QPoint(1, 0));
  EXPECT_EQ(gloss.End, QPoint(0, 1));
}

TEST(Led, OwnerDrawLeavesThePaintingToTheHandler) {
  TdsLed led;
  led.resize(10, 10);
  led.SetStyle(lsOwnerDraw);
  QRect seen;
  led.SetOnDrawLed([&](void*, QRect r, QPainter& canvas) {
    seen = r;
    canvas.fillRect(r, Qt::blue);
  });
  EXPECT_EQ(PixelAt(led, 5, 5), qRgb(0, 0, 255));
  EXPECT_EQ(seen, QRect(0, 0, 10, 10));
}
