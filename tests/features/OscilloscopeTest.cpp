// The oscilloscope as the user drives it: Run/Hold, scale, shift, channel and "Auto" controls,
// fed by the 100 ms tick, judged by the picture on OscImage.
#include <QCheckBox>
#include <QDir>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <gtest/gtest.h>

#include <cmath>
#include <iostream>
#include <memory>

#include "core/UtilUnit.h"
#include "features/Oscilloscope.h"
#include "panel/UpDown.h"

namespace {

bool IsVoltPixel(QRgb p) { return qRed(p) == qGreen(p) && qBlue(p) + 40 < qRed(p); }

class OscilloscopeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    CurrentDivider = 1;
    fWindow.resize(320, 420);
    fPanel = new QWidget(&fWindow);
    fPanel->setGeometry(0, 0, 320, 220);
    fSurface = new QWidget(&fWindow);
    fSurface->setGeometry(4, 226, 312, 190);
    fOsc = std::make_unique<TOscilloscope>(fSurface, fPanel);
    fOsc->IsConnected = [this] { return fConnected; };
    fOsc->IsWindowVisible = [this] { return fVisible; };
    fWindow.show();
    fOsc->DrawInitial();
  }
  void TearDown() override { ResetModelVariables(); }

  template <typename T = QWidget>
  T* Find(const char* name) {
    T* w = fWindow.findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  QImage Chart() { return Find<QLabel>("OscImage")->pixmap().toImage(); }
  void Settle() { QCoreApplication::processEvents(); }

  // Up is the right half of a sideways control and the upper half of an upright one.
  void ClickUp(const char* name) { ClickUpDown(name, true); }
  void ClickDown(const char* name) { ClickUpDown(name, false); }
  void ClickUpDown(const char* name, bool up) {
    auto* w = Find<TUpDown>(name);
    const bool upright = w->Orientation() == udVertical;
    const int x = upright ? w->width() / 2 : w->width() * (up ? 3 : 1) / 4;
    const int y = upright ? w->height() * (up ? 1 : 3) / 4 : w->height() / 2;
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(x, y));
    Settle();
  }
  void ClickBox(const char* name) {
    auto* w = Find(name);
    QTest::mouseClick(w, Qt::LeftButton, {}, QPoint(8, w->height() / 2));
    Settle();
  }
  void ChooseChannel(const QString& text) {
    for (auto* item : Find("OscRadioGroup")->findChildren<QRadioButton*>())
      if (item->text() == text) QTest::mouseClick(item, Qt::LeftButton, {}, QPoint(6, item->height() / 2));
    Settle();
  }
  void Ticks(int count, uint32_t uout, uint32_t iout = 0) {
    for (int k = 0; k < count; ++k) fOsc->OscillTick(uout, iout);
  }
  int Position(const char* name) { return Find<TUpDown>(name)->Position(); }

  // Columns above the labels that hold any voltage trace pixel.
  std::vector<int> VoltColumns(const QImage& chart) {
    std::vector<int> columns;
    for (int x = 0; x < kOscWidth; ++x)
      for (int y = 0; y < 200; ++y)
        if (IsVoltPixel(chart.pixel(x, y))) {
          columns.push_back(x);
          break;
        }
    return columns;
  }
  std::vector<int> VoltRows(const QImage& chart, int x) {
    std::vector<int> rows;
    for (int y = 0; y < 200; ++y)
      if (chart.pixel(x, y) == kOscVoltColor) rows.push_back(y);
    return rows;
  }

  QWidget fWindow;
  QWidget* fPanel = nullptr;
  QWidget* fSurface = nullptr;
  std::unique_ptr<TOscilloscope> fOsc;
  bool fConnected = true;
  bool fVisible = true;
};

std::vector<int> Range(int from, int to) {
  std::vector<int> v;
  for (int k = from; k <= to; ++k) v.push_back(k);
  return v;
}

}  // namespace

TEST_F(OscilloscopeTest, StartsWithTheGridAndTheControlsAtTheirStartPositions) {
  const QImage chart = Chart();
  ASSERT_EQ(chart.size(), QSize(kOscWidth, kOscHeight));
  EXPECT_EQ(chart.pixel(32, 10), kOscGridColor);
  EXPECT_TRUE(VoltColumns(chart).empty());
  EXPECT_TRUE(fOsc->Running());
  EXPECT_EQ(Find<QCheckBox>("OscToggleSwitch")->text(), "Run");
  // "Auto" is on, so the empty ring has already taken the finest scales.
  EXPECT_EQ(Position("VUpDown"), 0);
  EXPECT_EQ(Position("AUpDown"), 0);
  EXPECT_EQ(Position("VshiftUpDown"), 5);
  EXPECT_EQ(Position("AshiftUpDown"), 9);
  EXPECT_TRUE(Find<QCheckBox>("OscVoltAutoCheckBox")->isChecked());
  EXPECT_FALSE(Find("VshiftUpDown")->isEnabled());
  EXPECT_FALSE(Find("AshiftUpDown")->isEnabled());
}

TEST_F(OscilloscopeTest, AfterRunOnlyTheNewSamplesAreDrawn) {
  ChooseChannel("V");
  Ticks(200, 1000);
  EXPECT_EQ(VoltColumns(Chart()), Range(121, 319));

  ClickBox("OscToggleSwitch");
  EXPECT_FALSE(fOsc->Running());
  EXPECT_EQ(Find<QCheckBox>("OscToggleSwitch")->text(), "Hold");
  Ticks(5, 300);  // frozen: nothing is taken
  EXPECT_EQ(VoltColumns(Chart()), Range(121, 319));

  ClickBox("OscToggleSwitch");
  EXPECT_TRUE(fOsc->Running());
  Ticks(4, 500);
  EXPECT_EQ(VoltColumns(Chart()), Range(317, 319));
}

TEST_F(OscilloscopeTest, ScaleChangeOnHoldRedrawsTheSameSamples) {
  ChooseChannel("V");
  Ticks(10, 1000);  // 10 V: automatic ranging takes 2 V/div, the trace on row 88
  EXPECT_EQ(Position("VUpDown"), 1);
  EXPECT_EQ(VoltRows(Chart(), 315), (std::vector<int>{88, 89}));
  ClickBox("OscToggleSwitch");

  ClickUp("VUpDown");  // 5 V/div by hand: row 220 - (44 + 22) = 154
  EXPECT_EQ(Position("VUpDown"), 2);
  const QImage chart = Chart();
  EXPECT_EQ(VoltRows(chart, 315), (std::vector<int>{154, 155}));
  EXPECT_EQ(VoltColumns(chart), Range(311, 319));  // the newest still at the right edge

  ClickUp("VshiftUpDown");  // shift +1 V: 0.2 division higher, row 154 - 4 = 150
  EXPECT_EQ(VoltRows(Chart(), 315), (std::vector<int>{150, 151}));
  ChooseChannel("-0-");
  EXPECT_TRUE(VoltColumns(Chart()).empty());
  EXPECT_EQ(Chart().pixel(100, 199), qRgb(255, 255, 255));
}

TEST_F(OscilloscopeTest, RedrawWaitsForTheTickOnlyWhileRunningOnALiveLink) {
  ChooseChannel("V");
  Ticks(10, 1000);
  const QImage before = Chart();
  ClickUp("VUpDown");
  EXPECT_EQ(Chart(), before);  // the next tick redraws
  Ticks(1, 1000);
  EXPECT_EQ(VoltRows(Chart(), 315), (std::vector<int>{154, 155}));

  fConnected = false;  // after a disconnect the last chart still follows the controls
  ClickDown("VUpDown");
  EXPECT_EQ(VoltRows(Chart(), 315), (std::vector<int>{88, 89}));

  fVisible = false;  // a hidden window is not drawn
  const QImage hidden = Chart();
  ClickUp("VUpDown");
  EXPECT_EQ(Chart(), hidden);
}

TEST_F(OscilloscopeTest, AutoRangingKeepsTheLargestSampleBelowNineDivisions) {
  Ticks(3, 1200);  // 12.00 V
  EXPECT_EQ(Position("VUpDown"), 1);
  fOsc->ClearOscData();
  Ticks(3, 900);  // exactly 9.00 V
  EXPECT_EQ(Position("VUpDown"), 1);

  CurrentDivider = 10;  // currents in mA: 4.000 A is 400 x 10 mA, below 9 x 0.5 A
  Ticks(1, 900, 4000);
  EXPECT_EQ(Position("AUpDown"), 4);

  fOsc->ClearOscData();  // only samples taken since the clear count
  Ticks(2, 100, 100);
  EXPECT_EQ(Position("VUpDown"), 0);
  EXPECT_EQ(Position("AUpDown"), 0);
}

TEST_F(OscilloscopeTest, AutoBoxesOwnTheScaleAndTheShift) {
  ClickUp("VUpDown");
  EXPECT_FALSE(Find<QCheckBox>("OscVoltAutoCheckBox")->isChecked());
  EXPECT_TRUE(Find("VshiftUpDown")->isEnabled());
  EXPECT_TRUE(Find<QCheckBox>("OscAmperAutoCheckBox")->isChecked());
  ClickUp("VshiftUpDown");
  ClickUp("VshiftUpDown");
  EXPECT_EQ(Position("VshiftUpDown"), 7);
  Ticks(3, 5000);  // a manual scale stays as chosen
  EXPECT_EQ(Position("VUpDown"), 1);

  ClickBox("OscVoltAutoCheckBox");
  EXPECT_TRUE(Find<QCheckBox>("OscVoltAutoCheckBox")->isChecked());
  EXPECT_FALSE(Find("VshiftUpDown")->isEnabled());
  EXPECT_EQ(Position("VshiftUpDown"), 5);

  ClickDown("AUpDown");
  EXPECT_FALSE(Find<QCheckBox>("OscAmperAutoCheckBox")->isChecked());
  ClickDown("AshiftUpDown");
  ClickBox("OscVoltAutoCheckBox");
  ClickUp("VshiftUpDown");
  EXPECT_EQ(Position("AshiftUpDown"), 8);
  EXPECT_EQ(Position("VshiftUpDown"), 6);
  QTest::mouseClick(Find("OscResetShiftBtn"), Qt::LeftButton);
  EXPECT_EQ(Position("VshiftUpDown"), 5);
  EXPECT_EQ(Position("AshiftUpDown"), 9);
}

// Far past one ring (and past the count's fold at two rings) the chart shows just the last 320.
TEST_F(OscilloscopeTest, TheRingKeepsTheLatestSamples) {
  ChooseChannel("V");
  Ticks(380, 2000);
  Ticks(320, 500);  // 5 V at 1 V/div: row 88
  EXPECT_EQ(Position("VUpDown"), 0);
  const QImage chart = Chart();
  for (int x = 2; x < kOscWidth; ++x) ASSERT_EQ(VoltRows(chart, x), (std::vector<int>{88, 89})) << x;
  Ticks(1, 2000);
  EXPECT_EQ(Position("VUpDown"), 2);
}

// A picture of a live chart for a person to look at.
TEST_F(OscilloscopeTest, GalleryOfALiveChart) {
  CurrentDivider = 10;
  for (int k = 0; k < 300; ++k) {
    const double t = k / 10.0;
    const double volts = (k < 120 ? 12.0 : k < 200 ? 9.2 : 12.0) + 0.25 * std::sin(t * 2.1);
    const double amps = (k < 120 ? 1.2 : k < 200 ? 2.6 : 1.2) + 0.15 * std::sin(t * 0.9 + 1) +
                        (k % 37 < 3 ? 0.4 : 0.0);
    fOsc->OscillTick(static_cast<uint32_t>(volts * 100), static_cast<uint32_t>(amps * 1000));
  }
  const QString dir = QStringLiteral(KELVORA_GALLERY_DIR);
  QDir().mkpath(dir);
  const QImage chart = Chart();
  EXPECT_FALSE(VoltColumns(chart).empty());
  ASSERT_TRUE(chart.save(dir + "/oscilloscope.png"));
  ASSERT_TRUE(fWindow.grab().save(dir + "/oscilloscope-panel.png"));
  std::cout << "gallery: " << (dir + "/oscilloscope.png").toStdString() << std::endl;
}
