// The chart's pixels: trace geometry and blending against hand-computed values, clipping at the
// bitmap's edges, the scrolling grid, the scale labels and the choice of scale.
#include <QImage>
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <utility>
#include <vector>

#include "features/OscDrawing.h"

namespace {

constexpr QRgb kGrey = qRgb(128, 128, 128);
constexpr QRgb kBlack = qRgb(0, 0, 0);
constexpr QRgb kYellow = qRgb(255, 255, 0);

// Yellow laid over grey with coverage c, each channel rounded.
QRgb YellowOverGrey(double c) {
  const auto mix = [c](int old, int ink) { return static_cast<int>(old * (1 - c) + ink * c + 0.5); };
  return qRgb(mix(128, 255), mix(128, 255), mix(128, 0));
}

TOscTrace Volts(int32_t div, int32_t shift) { return {&TOscDataRecord::Volt, div, shift, kYellow}; }

// Rows of column x that differ from the ground colour.
std::vector<int> MarkedRows(const QImage& image, int x, QRgb ground) {
  std::vector<int> rows;
  for (int y = 0; y < image.height(); ++y)
    if (image.pixel(x, y) != ground) rows.push_back(y);
  return rows;
}

}  // namespace

// Three samples at 1 V/div: 0 V, 0 V (a flat step) and, oldest, 0.23 V, five pixels higher
// (a steep step). The newest sits at x = 320, just past the right edge.
TEST(OscTrace, ShortTraceMatchesTheLineAlgorithmPixelForPixel) {
  QImage image(kOscWidth, kOscHeight, QImage::Format_RGB32);
  image.fill(kGrey);
  TOscData data{};
  data[2].Volt = 0;   // x = 320, y = 198
  data[1].Volt = 0;   // x = 319, y = 198
  data[0].Volt = 23;  // x = 318, y = 220 - (round(23 * 22 / 100) + 22) = 193
  DrawOscTrace(image, data, 2, Volts(100, 0));

  const std::map<std::pair<int, int>, QRgb> expected{
      // The flat step: its plain line lies wholly past the edge; only the thickening remains.
      {{319, 199}, kYellow},
      // The steep step from (319, 198) to (318, 193): half-covered end points, then the
      // coverage moves across the two columns in fifths.
      {{318, 193}, YellowOverGrey(0.5)},
      {{319, 198}, YellowOverGrey(0.5)},
      {{318, 194}, kYellow},  // the thickening under the older sample covers 0.8
      {{319, 194}, YellowOverGrey(0.2)},
      {{318, 195}, YellowOverGrey(0.6)},
      {{319, 195}, YellowOverGrey(0.4)},
      {{318, 196}, YellowOverGrey(0.4)},
      {{319, 196}, YellowOverGrey(0.6)},
      {{318, 197}, YellowOverGrey(0.2)},
      {{319, 197}, YellowOverGrey(0.8)},
  };
  for (int y = 0; y < kOscHeight; ++y)
    for (int x = 0; x < kOscWidth; ++x) {
      const auto found = expected.find({x, y});
      const QRgb want = found == expected.end() ? kGrey : found->second;
      ASSERT_EQ(image.pixel(x, y), want) << "pixel " << x << "," << y;
    }
}

TEST(OscTrace, ShallowStepAndFlatRunOnBlack) {
  QImage image = NewOscBitmap();
  TOscData data{};
  data[3].Volt = 0;  // x = 320, y = 198
  data[2].Volt = 5;  // x = 319, y = 197: one pixel up, not steep
  data[1].Volt = 5;  // x = 318, y = 197
  data[0].Volt = 5;  // x = 317, y = 197
  DrawOscTrace(image, data, 3, Volts(100, 0));
  EXPECT_EQ(MarkedRows(image, 319, kBlack), (std::vector<int>{197, 198}));
  EXPECT_EQ(image.pixel(319, 197), kYellow);  // the flat run from 318 reaches back to 319
  EXPECT_EQ(image.pixel(319, 198), kYellow);  // thickening over the half-covered end point
  EXPECT_EQ(MarkedRows(image, 318, kBlack), (std::vector<int>{197, 198}));
  EXPECT_EQ(MarkedRows(image, 317, kBlack), (std::vector<int>{198}));
  for (int x = 0; x < 317; ++x) ASSERT_TRUE(MarkedRows(image, x, kBlack).empty()) << x;
}

// A full ring at each extreme: far above the scale, zero with the largest negative shift, and
// one unit short of the bottom edge, where the thickening falls one row below the bitmap.
TEST(OscTrace, ExtremesAreClippedToTheBitmap) {
  struct Case {
    uint16_t volt;
    int32_t shift;
    int row;
  };
  for (const Case c : {Case{65535, 0, 0}, Case{0, -2000, 218}, Case{5, -100, 219}}) {
    QImage image = NewOscBitmap();
    TOscData data{};
    for (auto& sample : data) sample.Volt = c.volt;
    DrawOscTrace(image, data, kOscWidth - 1, Volts(100, c.shift));
    std::vector<int> below;  // the thickening, where the bitmap has room for it
    if (c.row + 1 < kOscHeight) below.push_back(c.row + 1);
    std::vector<int> both{c.row};
    both.insert(both.end(), below.begin(), below.end());
    // The oldest sample (x = 1) only gets its thickening; the line to it covers x = 2.
    EXPECT_EQ(MarkedRows(image, 1, kBlack), below) << "volt " << c.volt;
    for (int x = 2; x < kOscWidth; ++x)
      ASSERT_EQ(MarkedRows(image, x, kBlack), both) << "volt " << c.volt << " column " << x;
  }
}

TEST(OscChart, GridScrollsWithTheNewestSample) {
  QImage image = NewOscBitmap();
  TOscData data{};
  const TOscScale zeroLineOnly{100, 0, 100, 0, 0};
  DrawOscChart(image, data, -1, zeroLineOnly, ".");
  EXPECT_EQ(image.pixel(32, 10), kGrey);
  EXPECT_EQ(image.pixel(288, 10), kGrey);
  EXPECT_EQ(image.pixel(31, 10), kBlack);
  EXPECT_EQ(image.pixel(10, 22), kGrey);
  EXPECT_EQ(image.pixel(10, 198), kGrey);
  EXPECT_EQ(image.pixel(10, 199), qRgb(255, 255, 255));  // the zero line
  EXPECT_EQ(image.pixel(319, 199), qRgb(255, 255, 255));

  DrawOscChart(image, data, 37, zeroLineOnly, ".");  // 37 mod 32 = 5
  EXPECT_EQ(image.pixel(27, 10), kGrey);
  EXPECT_EQ(image.pixel(315, 10), kGrey);
  EXPECT_EQ(image.pixel(32, 10), kBlack);
}

TEST(OscChart, ChannelsChooseTheTraces) {
  TOscData data{};
  for (auto& sample : data) sample = {500, 20};  // rows 88 and 154
  const auto columnHas = [](const QImage& image, QRgb color) {
    for (int y = 0; y < 200; ++y)
      if (image.pixel(300, y) == color) return true;
    return false;
  };
  for (int channel = 0; channel < 4; ++channel) {
    QImage image = NewOscBitmap();
    DrawOscChart(image, data, 100, {100, 0, 10, 0, channel}, ".");
    EXPECT_EQ(columnHas(image, kOscVoltColor), (channel & 1) != 0) << channel;
    EXPECT_EQ(columnHas(image, kOscAmperColor), (channel & 2) != 0) << channel;
  }
}

TEST(OscLabel, ShortestTextWithTheUsersSeparator) {
  EXPECT_EQ(OscScaleLabel(100, 0, "V", "."), "1V/d +0V");
  EXPECT_EQ(OscScaleLabel(200, -500, "V", "."), "2V/d -5V");
  EXPECT_EQ(OscScaleLabel(2, 0, "A", "."), "0.02A/d +0A");
  EXPECT_EQ(OscScaleLabel(1000, 2000, "V", "."), "10V/d +20V");
  EXPECT_EQ(OscScaleLabel(20, -1, "A", ","), "0,2A/d -0,01A");
  EXPECT_EQ(OscScaleLabel(50, 150, "A", ","), "0,5A/d +1,5A");
}

TEST(OscAutoRange, LargestSampleStaysBelowNineDivisions) {
  const std::array<int32_t, 4> volts{100, 200, 500, 1000};
  EXPECT_EQ(OscAutoRangePosition(0, volts), 0);
  EXPECT_EQ(OscAutoRangePosition(899, volts), 0);
  EXPECT_EQ(OscAutoRangePosition(900, volts), 1);  // exactly nine divisions is too many
  EXPECT_EQ(OscAutoRangePosition(1200, volts), 1);
  EXPECT_EQ(OscAutoRangePosition(8999, volts), 3);
  EXPECT_EQ(OscAutoRangePosition(9000, volts), 3);  // beyond the table: its largest scale
  EXPECT_EQ(OscAutoRangePosition(65535, volts), 3);
}
