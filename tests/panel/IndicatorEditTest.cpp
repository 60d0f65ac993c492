// Editing a value under the indicator's cursor: steps, digit keys, the flashing cursor, the one
// cursor of the program, and the bound up-down control and radio dial.
#include <QDial>
#include <QTest>
#include <gtest/gtest.h>

#include "tests/panel/PanelRow.h"

using Codes = std::vector<uint32_t>;

namespace {

// An enabled voltage row (0.00 .. 30.55) showing value, with a change counter.
struct TEditRow : TPanelRow {
  explicit TEditRow(uint32_t value, uint32_t minValue = 0, uint32_t maxValue = 3055)
      : TPanelRow(minValue, maxValue, 4, 3) {
    Indicator.SetOnChange([this](void*) { ++Changes; });
    Indicator.SetOnLeaveCursor([this](void*) { ++Leaves; });
    Indicator.SetEnabled(true);
    Show(value);
  }
  int Changes = 0;
  int Leaves = 0;
};

}  // namespace

TEST(IndicatorEdit, StepsStayInsideTheLimitsWithoutClamping) {
  TEditRow row(3050, 100);
  row.Indicator.SetCursorPos(2);
  row.Indicator.ValueAtCursorUp();  // 3060 > 3055: refused, not clamped
  EXPECT_EQ(row.Value, 3050u);
  EXPECT_EQ(row.Changes, 0);
  row.Indicator.SetCursorPos(1);
  row.Indicator.ValueAtCursorUp();
  EXPECT_EQ(row.Value, 3051u);
  EXPECT_EQ(row.Changes, 1);
  EXPECT_EQ(row.Shown(), (Codes{3, 0, 5, 1}));

  row.Indicator.SetCursorPos(4);
  row.Indicator.ValueAtCursorDown();
  EXPECT_EQ(row.Value, 2051u);
  row.Indicator.ValueAtCursorDown();
  row.Indicator.ValueAtCursorDown();  // 51 would be below the minimum 100
  EXPECT_EQ(row.Value, 1051u);

  TEditRow zero(5);
  zero.Indicator.SetCursorPos(2);
  zero.Indicator.ValueAtCursorDown();  // never below zero
  EXPECT_EQ(zero.Value, 5u);

  zero.Indicator.LeaveCursor();
  zero.Indicator.ValueAtCursorUp();  // no cursor, no step
  EXPECT_EQ(zero.Value, 5u);
}

TEST(IndicatorEdit, DigitKeysReplaceTheCursorDigitAndMoveRight) {
  TEditRow row(1234);
  row.Indicator.SetCursorPos(4);
  row.Indicator.ValueAtCursor(2);
  EXPECT_EQ(row.Value, 2234u);
  EXPECT_EQ(row.Indicator.CursorPos(), 3);
  row.Indicator.ValueAtCursor(9);  // 2934 on the hundreds
  row.Indicator.ValueAtCursor(0);
  row.Indicator.ValueAtCursor(5);
  EXPECT_EQ(row.Value, 2905u);
  EXPECT_EQ(row.Indicator.CursorPos(), 1);  // stays on the last digit
  row.Indicator.ValueAtCursor(7);
  EXPECT_EQ(row.Value, 2907u);
  EXPECT_EQ(row.Changes, 5);

  row.Indicator.SetCursorPos(4);
  row.Indicator.ValueAtCursor(4);  // 4907 > 3055: refused, the cursor still moves on
  EXPECT_EQ(row.Value, 2907u);
  EXPECT_EQ(row.Indicator.CursorPos(), 3);

  TEditRow minutes(125, 0, 5999);
  minutes.Indicator.SetHoursMinutes(true);
  minutes.Indicator.SetCursorPos(2);
  minutes.Indicator.ValueAtCursor(6);  // there is no 60th minute
  EXPECT_EQ(minutes.Value, 125u);
  EXPECT_EQ(minutes.Indicator.CursorPos(), 2);
  minutes.Indicator.ValueAtCursor(5);  // 2 h 55 min
  EXPECT_EQ(minutes.Value, 175u);
  minutes.Indicator.SetCursorPos(3);
  minutes.Indicator.ValueAtCursorUp();  // one hour
  EXPECT_EQ(minutes.Value, 235u);
}

TEST(IndicatorEdit, IncDecClampsAndWheelStepsTheDigitUnderThePointer) {
  TEditRow row(3000);
  row.Indicator.ValueIncDec(100);
  EXPECT_EQ(row.Value, 3055u);
  row.Indicator.ValueIncDec(-5000);
  EXPECT_EQ(row.Value, 0u);
  EXPECT_EQ(row.Changes, 2);
  row.Indicator.ValueIncDec(-1);
  EXPECT_EQ(row.Changes, 2);

  row.Indicator.MouseWheelUp(row.Indicator.Digit[3].data());
  EXPECT_EQ(row.Indicator.CursorPos(), 3);
  EXPECT_EQ(row.Value, 100u);
  row.Indicator.MouseWheelDown(row.Indicator.Digit[1].data());
  EXPECT_EQ(row.Value, 99u);
  row.Indicator.MouseWheelUp(&row.Parent);  // not one of its digits
  EXPECT_EQ(row.Value, 99u);

  row.Indicator.SetEnabled(false);
  row.Indicator.MouseWheelUp(row.Indicator.Digit[1].data());
  EXPECT_EQ(row.Value, 99u);
}

TEST(IndicatorCursor, FlashesAndLeavesAfterSixteenIdleTicks) {
  TEditRow row(5);
  row.Indicator.SetCursorPos(3);
  TdsSevenSegmentDisplay* digit = row.Indicator.Digit[3];
  EXPECT_EQ(digit->Value(), 0u);  // shown, not blank, while edited
  EXPECT_EQ(digit->OnColor(), 0x808080u);
  EXPECT_TRUE(row.Clock->Running);
  EXPECT_EQ(row.Clock->Interval, 300);
  row.Clock->Elapse();
  EXPECT_EQ(digit->OnColor(), 0xFFFFFFu);
  row.Clock->Elapse();
  EXPECT_EQ(digit->OnColor(), 0x808080u);

  row.Indicator.ValueAtCursorUp();  // an edit starts the idle count again
  for (int tick = 1; tick <= 15; ++tick) row.Clock->Elapse();
  EXPECT_EQ(row.Indicator.CursorPos(), 3);
  row.Clock->Elapse();
  EXPECT_EQ(row.Indicator.CursorPos(), 0);
  EXPECT_EQ(row.Leaves, 1);
  EXPECT_FALSE(row.Clock->Running);
  EXPECT_EQ(digit->OnColor(), 0xFFFFFFu);
  EXPECT_EQ(ActiveIndicator, nullptr);

  TEditRow steady(5);
  steady.Indicator.SetAutoStop(false);
  steady.Indicator.SetCursorPos(1);
  for (int tick = 0; tick < 40; ++tick) steady.Clock->Elapse();
  EXPECT_EQ(steady.Indicator.CursorPos(), 1);
}

TEST(IndicatorCursor, LeavingRedrawsOnlyAChangedValue) {
  TEditRow row(5);
  row.Indicator.SetCursorPos(4);
  EXPECT_EQ(row.Shown(), (Codes{0, 0, 0, 5}));
  row.Indicator.LeaveCursor();
  EXPECT_EQ(row.Shown(), (Codes{0, 0, 0, 5}));
  EXPECT_EQ(row.Leaves, 1);
}

TEST(IndicatorCursor, OnlyOneIndicatorShowsACursor) {
  TEditRow a(100), b(200);
  a.Indicator.SetCursorPos(2);
  EXPECT_EQ(ActiveIndicator, &a.Indicator);
  b.Indicator.SetCursorPos(1);
  EXPECT_EQ(ActiveIndicator, &b.Indicator);
  EXPECT_EQ(a.Indicator.CursorPos(), 0);
  EXPECT_EQ(a.Leaves, 1);
  EXPECT_FALSE(a.Clock->Running);

  b.Indicator.SetCursorPos(0);  // removing a cursor leaves no stale owner behind
  EXPECT_EQ(ActiveIndicator, nullptr);
  a.Indicator.SetCursorPos(1);
  EXPECT_EQ(b.Leaves, 0);

  {
    TEditRow gone(1);
    gone.Indicator.SetCursorPos(1);
  }
  EXPECT_EQ(ActiveIndicator, nullptr);
}

TEST(IndicatorCursor, MovesAndWrapsAndNeedsEditing) {
  TEditRow row(0);
  row.Indicator.SetCursorPos(9);  // beyond the digits: the rightmost
  EXPECT_EQ(row.Indicator.CursorPos(), 1);
  row.Indicator.MoveCursorRight();
  EXPECT_EQ(row.Indicator.CursorPos(), 4);
  row.Indicator.MoveCursorLeft();
  EXPECT_EQ(row.Indicator.CursorPos(), 1);
  row.Indicator.MoveCursorLeft();
  EXPECT_EQ(row.Indicator.CursorPos(), 2);

  row.Indicator.SetEnabled(false);  // disabling takes the cursor away
  EXPECT_EQ(row.Indicator.CursorPos(), 0);
  EXPECT_EQ(row.Indicator.Digit[1]->cursor().shape(), Qt::ArrowCursor);
  row.Indicator.SetCursorPos(2);
  EXPECT_EQ(row.Indicator.CursorPos(), 0);
  row.Indicator.SetEnabled(true);
  EXPECT_EQ(row.Indicator.Digit[1]->cursor().shape(), Qt::PointingHandCursor);
}

TEST(IndicatorUpDown, FirstPressShowsTheCursorThenStepsIt) {
  TEditRow row(1000);
  auto* upDown = new TUpDown(&row.Parent);
  upDown->setObjectName("UpDown1");
  row.Indicator.SetUpDownCtrl(upDown);
  EXPECT_EQ(upDown->Min(), 0);
  EXPECT_EQ(upDown->Max(), 65535);
  EXPECT_EQ(upDown->Position(), 32768);

  auto* button = row.Parent.findChild<TUpDown*>("UpDown1");
  const QPoint up(8, 5), down(8, 35);
  QTest::mouseClick(button, Qt::LeftButton, {}, up);
  EXPECT_EQ(row.Indicator.CursorPos(), 2);
  EXPECT_EQ(row.Value, 1000u);
  QTest::mouseClick(button, Qt::LeftButton, {}, up);
  QTest::mouseClick(button, Qt::LeftButton, {}, up);
  EXPECT_EQ(row.Value, 1020u);
  QTest::mouseClick(button, Qt::LeftButton, {}, down);
  EXPECT_EQ(row.Value, 1010u);

  row.Indicator.SetEnabled(false);
  QTest::mouseClick(button, Qt::LeftButton, {}, up);
  EXPECT_EQ(row.Value, 1010u);
}

TEST(IndicatorUpDown, PressAfterTheIndicatorIsGoneDoesNothing) {
  QWidget panel;
  auto* upDown = new TUpDown(&panel);
  {
    TEditRow row(1000);
    row.Indicator.SetUpDownCtrl(upDown);
  }
  QTest::mouseClick(upDown, Qt::LeftButton, {}, QPoint(8, 5));
  SUCCEED();
}

TEST(IndicatorRadioDial, StepsGrowWithSpeedAndWrapsAreIgnored) {
  TEditRow row(1000, 0, 3055);
  uint32_t now = 50000;
  row.Indicator.SetTickSource([&] { return now; });
  QDial dial(&row.Parent);
  row.Indicator.SetRadioDial(&dial);
  EXPECT_EQ(dial.minimum(), 0);
  EXPECT_EQ(dial.maximum(), 50);
  EXPECT_EQ(dial.value(), 25);

  row.Indicator.SetCursorPos(2);
  now += 500;
  dial.setValue(26);  // slow: one unit
  EXPECT_EQ(row.Value, 1001u);
  EXPECT_EQ(row.Indicator.CursorPos(), 0);  // the dial takes the cursor away
  now += 50;
  dial.setValue(27);  // brisk: five
  EXPECT_EQ(row.Value, 1006u);
  now += 2;
  dial.setValue(26);  // fast, backwards: ten
  EXPECT_EQ(row.Value, 996u);
  now += 500;
  dial.setValue(30);
  EXPECT_EQ(row.Value, 997u);
  dial.setValue(0);  // passed the end, either way: not a turn
  dial.setValue(49);
  EXPECT_EQ(row.Value, 997u);

  row.Indicator.SetRadioDial(nullptr);
  dial.setValue(10);
  EXPECT_EQ(row.Value, 997u);
}
