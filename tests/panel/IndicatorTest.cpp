// How an indicator renders values on its digits and point lamps.
#include <gtest/gtest.h>

#include "core/UtilUnit.h"
#include "tests/panel/PanelRow.h"

using Codes = std::vector<uint32_t>;

TEST(IndicatorRender, DecimalBlanksLeadingZerosLeftOfThePointOnly) {
  TPanelRow row(0, 9999, 4, 3);
  row.Show(5);
  EXPECT_EQ(row.Shown(), (Codes{B, 0, 0, 5}));  // 0.05
  row.Show(510);
  EXPECT_EQ(row.Shown(), (Codes{B, 5, 1, 0}));  // 5.10
  row.Show(1234);
  EXPECT_EQ(row.Shown(), (Codes{1, 2, 3, 4}));
  row.Show(10000);  // does not fit in four digits
  EXPECT_EQ(row.Shown(), (Codes{Bar, Bar, Bar, Bar}));

  TPanelRow plain(0, 999999, 6, 1);
  plain.Show(0);  // the first update draws even a 0
  EXPECT_EQ(plain.Shown(), (Codes{B, B, B, B, B, 0}));
  plain.Show(1002);
  EXPECT_EQ(plain.Shown(), (Codes{B, B, 1, 0, 0, 2}));  // inner zeros stay

  plain.Indicator.Smart = false;
  plain.Show(7);
  EXPECT_EQ(plain.Shown(), (Codes{0, 0, 0, 0, 0, 7}));
}

TEST(IndicatorRender, RedrawsOnlyWhenTheValueDiffersFromTheLastRendered) {
  TPanelRow row(0, 9999, 4, 1);
  row.Show(42);
  row.Indicator.Digit[1]->SetValue(8);  // someone scribbled on a digit
  row.Indicator.UpdateDigits();
  EXPECT_EQ(row.Indicator.Digit[1]->Value(), 8u);
  row.Indicator.ClearValue();
  row.Indicator.UpdateDigits();
  EXPECT_EQ(row.Indicator.Digit[1]->Value(), 2u);
}

TEST(IndicatorRender, HoursAndMinutes) {
  TPanelRow row(0, 5999, 4, 3);
  row.Indicator.SetHoursMinutes(true);
  row.Show(125);
  EXPECT_EQ(row.Shown(), (Codes{B, 2, 0, 5}));  // 2.05 = 2 h 05 min
  row.Show(5999);
  EXPECT_EQ(row.Shown(), (Codes{9, 9, 5, 9}));
  row.Show(6000);  // 100 h do not fit
  EXPECT_EQ(row.Shown(), (Codes{Bar, Bar, Bar, Bar}));
}

TEST(IndicatorRender, ElapsedTimeSwitchesToWholeHoursWhenTooLong) {
  TPanelRow row(0, 0xFFFFFFFF, 6, 1);
  int changes = 0;
  row.Indicator.SetOnChange([&](void*) { ++changes; });

  row.Value = 3599;  // 0:59:59
  row.Indicator.UpdateTime();
  EXPECT_EQ(row.Shown(), (Codes{B, B, 5, 9, 5, 9}));
  EXPECT_TRUE(row.LedShown(1));
  EXPECT_FALSE(row.LedShown(2));
  EXPECT_EQ(changes, 1);

  row.Value = 3661;  // 1:01:01
  row.Indicator.UpdateTime();
  EXPECT_EQ(row.Shown(), (Codes{B, 1, 0, 1, 0, 1}));
  EXPECT_TRUE(row.LedShown(1));
  EXPECT_TRUE(row.LedShown(2));

  row.Value = 45;
  row.Indicator.UpdateTime();
  EXPECT_FALSE(row.LedShown(1));

  row.Value = 360000;  // 100 hours
  row.Indicator.UpdateTime();
  EXPECT_EQ(row.Shown(), (Codes{B, B, B, 1, 0, 0}));
  EXPECT_FALSE(row.LedShown(1));
  EXPECT_FALSE(row.LedShown(2));

  row.Indicator.UpdateTime();  // unchanged: no redraw, no event
  EXPECT_EQ(changes, 4);
}

TEST(IndicatorRender, EnergyCounterChangesScaleAt100000) {
  TPanelRow row(0, 0xFFFFFFFF, 6, 3);
  int changes = 0;
  row.Indicator.SetOnChange([&](void*) { ++changes; });

  row.Value = 99999;  // 999.99
  row.Indicator.UpdateCounter();
  EXPECT_EQ(row.Shown(), (Codes{B, 9, 9, 9, 9, 9}));
  EXPECT_EQ(row.Indicator.PointPos, 3u);
  EXPECT_FALSE(row.LedShown(1));
  EXPECT_TRUE(row.LedShown(2));

  row.Value = 100000;  // 1.0 in the thousand-fold unit
  row.Indicator.UpdateCounter();
  EXPECT_EQ(row.Shown(), (Codes{B, B, B, B, 1, 0}));
  EXPECT_EQ(row.Indicator.PointPos, 2u);
  EXPECT_TRUE(row.LedShown(1));
  EXPECT_FALSE(row.LedShown(2));
  EXPECT_EQ(changes, 2);

  row.Indicator.UpdateCounter();
  EXPECT_EQ(changes, 2);
  row.Indicator.RefreshCounter();  // forced redraw, e.g. after a colour change
  EXPECT_EQ(changes, 3);
}

TEST(IndicatorRender, ColourGoesToEveryDigitAndLampAndDarkensTheFlash) {
  TPanelRow row(0, 9999, 4, 3);
  row.Indicator.SetColor(0x00FF00);
  for (uint32_t i = 1; i <= 4; ++i) EXPECT_EQ(row.Indicator.Digit[i]->OnColor(), 0x00FF00u);
  EXPECT_EQ(row.Indicator.PointLed[1]->OnColor(), 0x00FF00u);
  EXPECT_EQ(row.Indicator.PointLed[2]->OnColor(), 0x00FF00u);

  row.Indicator.SetEnabled(true);
  row.Indicator.SetCursorPos(2);
  EXPECT_EQ(row.Indicator.Digit[2]->OnColor(), DarkenColor(0x00FF00));
}
