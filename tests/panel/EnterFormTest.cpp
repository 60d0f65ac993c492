// The pop-up entry windows as the user meets them: shown over a caller, typed into, wheeled,
// clicked, and left by clicking elsewhere.
#include <QLabel>
#include <QTest>
#include <gtest/gtest.h>

#include "panel/EnterUnit.h"
#include "panel/EnterUnit2.h"
#include "tests/panel/UserInput.h"

namespace {

constexpr uint32_t B = 10;

// A caller window with one value and its indicator, and an entry window over it.
template <class TForm>
struct TEntry {
  TEntry(uint32_t minValue, uint32_t maxValue, uint32_t dataLen, uint32_t pointPos,
         uint32_t value, const QString& name = "V")
      : Value(value), Indicator(minValue, maxValue, dataLen, pointPos, &Value, name) {
    Caller.resize(300, 200);
    Caller.show();
    Form = new TForm(&Caller);
    Form->SetOnUpdateMemory([this] { ++MemoryUpdates; });
    Indicator.SetOnChange([this](void*) { ++Changes; });
  }

  // What a caller does on a click on its value.
  void Open() {
    Form->move(Caller.mapToGlobal(QPoint(20, 20)));
    Form->SetIndicator(&Indicator);
    Form->show();
    Form->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == Form; }));
  }
  void ClickElsewhere() {
    Caller.activateWindow();
    // The caller counts as active while its tool window is, so wait for the window to lose it.
    ASSERT_TRUE(QTest::qWaitFor([this] { return QApplication::activeWindow() == &Caller; }));
  }

  TdsSevenSegmentDisplay* Seg(int i) const {
    return Form->template findChild<TdsSevenSegmentDisplay*>(QString("Seg%1").arg(i));
  }
  bool DotShown(const char* name) const {
    return !Form->template findChild<TdsLed*>(name)->isHidden();
  }
  std::vector<uint32_t> Shown(int digits) const {
    std::vector<uint32_t> codes;
    for (int i = digits; i >= 1; --i) codes.push_back(Seg(i)->Value());
    return codes;
  }
  uint16_t Cursor() const { return Indicator.CursorPos(); }

  QWidget Caller;
  uint32_t Value;
  TIndicator Indicator;
  TForm* Form = nullptr;
  int MemoryUpdates = 0;
  int Changes = 0;
};

using Codes = std::vector<uint32_t>;

}  // namespace

TEST(EnterForm, ThreeDigitValueBlanksTheLeftDigitAndStartsOnTheThird) {
  TEntry<TEnterForm> entry(20, 100, 3, 1, 85, "C");  // an over-heat limit
  ASSERT_NO_FATAL_FAILURE(entry.Open());
  EXPECT_EQ(entry.Form->size(), QSize(185, 40));
  EXPECT_TRUE(entry.Form->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(entry.Shown(4), (Codes{B, 0, 8, 5}));  // every digit of the value is shown
  EXPECT_EQ(entry.Cursor(), 3);
  EXPECT_EQ(entry.Form->findChild<QLabel*>("Label1")->text(), "C");
  EXPECT_FALSE(entry.DotShown("PointLed1"));
  EXPECT_FALSE(entry.DotShown("PointLed2"));
  EXPECT_FALSE(entry.DotShown("PointLed3"));
  EXPECT_FALSE(entry.Indicator.AutoStop());
}

TEST(EnterForm, TypedDigitsGoStraightIntoTheVariable) {
  TEntry<TEnterForm> entry(0, 3000, 4, 3, 1250);
  ASSERT_NO_FATAL_FAILURE(entry.Open());
  EXPECT_TRUE(entry.DotShown("PointLed2"));  // 12.50
  EXPECT_FALSE(entry.DotShown("PointLed1"));
  EXPECT_EQ(entry.Cursor(), 4);

  QTest::keyClicks(entry.Form, "2345");
  EXPECT_EQ(entry.Value, 2345u);
  EXPECT_EQ(entry.Cursor(), 1);
  QTest::keyClicks(entry.Form, "9");  // a fifth digit replaces the last one again
  EXPECT_EQ(entry.Value, 2349u);
  EXPECT_EQ(entry.Cursor(), 1);
  EXPECT_EQ(entry.Shown(4), (Codes{2, 3, 4, 9}));

  QTest::keyClick(entry.Form, Qt::Key_Right);  // already on the rightmost digit
  EXPECT_EQ(entry.Cursor(), 1);
  QTest::keyClick(entry.Form, Qt::Key_Left);
  QTest::keyClick(entry.Form, Qt::Key_Up);
  EXPECT_EQ(entry.Value, 2359u);
  QTest::keyClick(entry.Form, Qt::Key_Left);
  QTest::keyClick(entry.Form, Qt::Key_Left);
  QTest::keyClick(entry.Form, Qt::Key_Left);  // no further than the leftmost digit
  EXPECT_EQ(entry.Cursor(), 4);
  QTest::keyClick(entry.Form, Qt::Key_Up);  // 3359 > 3000: refused
  QTest::keyClicks(entry.Form, "7");        // 7359: refused, the cursor moves on
  EXPECT_EQ(entry.Value, 2359u);
  EXPECT_EQ(entry.Cursor(), 3);
  QTest::keyClick(entry.Form, Qt::Key_Down);
  EXPECT_EQ(entry.Value, 2259u);

  QTest::keyClick(entry.Form, Qt::Key_Return);  // Enter and Escape do nothing
  QTest::keyClick(entry.Form, Qt::Key_Escape);
  EXPECT_TRUE(entry.Form->isVisible());
  EXPECT_EQ(entry.Changes, 7);
}

TEST(EnterForm, WheelTakesAtMostOneStepPer20ms) {
  TEntry<TEnterForm> entry(0, 9999, 4, 3, 500);
  ASSERT_NO_FATAL_FAILURE(entry.Open());
  const QPoint middle(8, 12);
  TurnWheel(entry.Seg(2), middle, 120);
  TurnWheel(entry.Seg(2), middle, 120);
  TurnWheel(entry.Seg(2), middle, 120);
  EXPECT_EQ(entry.Value, 510u);
  EXPECT_EQ(entry.Cursor(), 2);
  QTest::qWait(TEnterFormBase::kMouseWheelInterval + 15);
  TurnWheel(entry.Seg(3), middle, -120);
  EXPECT_EQ(entry.Value, 410u);
  EXPECT_EQ(entry.Cursor(), 3);

  // Over anything but a digit nothing changes, but the lock still starts.
  QTest::qWait(TEnterFormBase::kMouseWheelInterval + 15);
  auto* label = entry.Form->findChild<QLabel*>("Label1");
  TurnWheel(label, QPoint(5, 20), 120);
  TurnWheel(entry.Seg(1), middle, 120);
  EXPECT_EQ(entry.Value, 410u);

  // The owner's lock, running for its own wheel handling, holds the window back too.
  QTimer mainLock;
  mainLock.setSingleShot(true);
  entry.Form->SetMouseWheelTimer(&mainLock);
  mainLock.start(10000);
  TurnWheel(entry.Seg(1), middle, 120);
  EXPECT_EQ(entry.Value, 410u);
  mainLock.stop();
  TurnWheel(entry.Seg(1), middle, 120);
  EXPECT_EQ(entry.Value, 411u);
  EXPECT_TRUE(mainLock.isActive());
}

TEST(EnterForm, ButtonStepsTheCursorDigitOrShowsTheCursor) {
  TEntry<TEnterForm> entry(0, 9999, 4, 1, 1000);
  ASSERT_NO_FATAL_FAILURE(entry.Open());
  auto* button = entry.Form->findChild<TUpDown*>("UpDown1");
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(20, 5));
  EXPECT_EQ(entry.Value, 2000u);
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(20, 35));
  EXPECT_EQ(entry.Value, 1000u);

  entry.Indicator.SetCursorPos(0);
  entry.Form->UpDown1Click();
  EXPECT_EQ(entry.Cursor(), 2);
  QTest::mouseClick(entry.Seg(1), Qt::LeftButton, {}, QPoint(8, 12));
  EXPECT_EQ(entry.Cursor(), 1);
}

TEST(EnterForm, LeavingTheWindowDropsTheCursorAndRefreshesTheOwner) {
  TEntry<TEnterForm> entry(0, 9999, 4, 1, 42);
  ASSERT_NO_FATAL_FAILURE(entry.Open());
  ASSERT_NO_FATAL_FAILURE(entry.ClickElsewhere());
  EXPECT_EQ(entry.Cursor(), 0);
  EXPECT_EQ(entry.MemoryUpdates, 1);
  EXPECT_TRUE(entry.Form->isVisible());  // hiding is the activated window's business
  EXPECT_EQ(ActiveIndicator, nullptr);

  // Opened again, another indicator taking the cursor closes the window.
  ASSERT_NO_FATAL_FAILURE(entry.Open());
  EXPECT_EQ(entry.Cursor(), 4);
  uint32_t other = 7;
  TIndicator panel(0, 9999, 4, 1, &other);
  panel.SetEnabled(true);
  panel.SetCursorPos(1);
  EXPECT_FALSE(entry.Form->isVisible());
  EXPECT_EQ(entry.Cursor(), 0);
}

TEST(EnterForm, NextIndicatorTakesTheDigitsAwayFromThePrevious) {
  TEntry<TEnterForm> entry(0, 9999, 4, 1, 1111);
  ASSERT_NO_FATAL_FAILURE(entry.Open());
  uint32_t second = 2222;
  TIndicator next(0, 9999, 4, 1, &second);
  entry.Form->SetIndicator(&next);
  entry.Form->FormActivate();
  EXPECT_EQ(entry.Shown(4), (Codes{2, 2, 2, 2}));

  entry.Value = 3333;  // the first indicator redrawn by its owner
  entry.Indicator.ClearValue();
  entry.Indicator.UpdateDigits();
  EXPECT_EQ(entry.Shown(4), (Codes{2, 2, 2, 2}));
  QTest::mouseClick(entry.Form->findChild<TUpDown*>("UpDown1"), Qt::LeftButton, {}, QPoint(20, 5));
  EXPECT_EQ(entry.Value, 3333u);
  EXPECT_EQ(second, 3222u);
}

TEST(EnterForm2, FiveDigitsWithTheLeftmostClickableAndTheDotMoving) {
  TEntry<TEnterForm2> entry(0, 65535, 5, 4, 12345);
  ASSERT_NO_FATAL_FAILURE(entry.Open());
  EXPECT_EQ(entry.Form->size(), QSize(191, 40));
  EXPECT_EQ(entry.Shown(5), (Codes{1, 2, 3, 4, 5}));
  EXPECT_EQ(entry.Cursor(), 5);
  EXPECT_TRUE(entry.DotShown("PointLed3"));
  EXPECT_EQ(entry.Form->findChild<TdsLed*>("PointLed3")->x(), 56);
  EXPECT_EQ(entry.Seg(4)->x(), 34);

  QTest::mouseClick(entry.Seg(2), Qt::LeftButton, {}, QPoint(8, 12));
  EXPECT_EQ(entry.Cursor(), 2);
  QTest::mouseClick(entry.Seg(5), Qt::LeftButton, {}, QPoint(8, 12));
  EXPECT_EQ(entry.Cursor(), 5);
  QTest::keyClicks(entry.Form, "6");  // 62345 fits in 16 bits
  EXPECT_EQ(entry.Value, 62345u);

  uint32_t gain = 100;
  TIndicator point5(0, 99999, 5, 5, &gain);
  entry.Form->SetIndicator(&point5);
  EXPECT_EQ(entry.Seg(4)->x(), 42);
  EXPECT_EQ(entry.Form->findChild<TdsLed*>("PointLed3")->x(), 34);
  uint32_t plain = 100;
  TIndicator point1(0, 999, 3, 1, &plain);
  entry.Form->SetIndicator(&point1);
  EXPECT_EQ(entry.Seg(4)->x(), 34);
  EXPECT_FALSE(entry.DotShown("PointLed3"));
  EXPECT_EQ(entry.Seg(5)->Value(), B);
  EXPECT_EQ(entry.Seg(4)->Value(), B);
}
