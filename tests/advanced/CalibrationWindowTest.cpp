// Calibration and battery source from the main window's "Advanced" button, with a simulated
// supply behind it: what reaches the supply's calibration and global registers.

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTimer>

#include "advanced/AdvancedUnit.h"
#include "advanced/BatterySource.h"
#include "advanced/Calibration.h"
#include "advanced/ValuePanel.h"
#include "app/ProgramWindows.h"
#include "tests/app/MainWindowFixture.h"

using namespace kelvora::test;

namespace {

class CalibrationWindow : public MainWindowFixture {
 protected:
  void TearDown() override {
    Advanced.reset();
    MainWindowFixture::TearDown();
  }
  void Connect(std::vector<std::string> simArgs, TVersion version) {
    StartSim(std::move(simArgs));
    OpenWindow();
    Advanced = std::make_unique<TAdvancedForm>(Form->FirmwareUpdateHost(), Form->DeviceSettingsHost());
    AdvancedForm = Advanced.get();
    Click("ConnectBtn");
    ASSERT_TRUE(WaitConnected());
    ASSERT_TRUE(QTest::qWaitFor([this, version] { return Form->fModel.Version == version; }, 3000));
  }
  // The window opened from the main window; aSteps run once it is up.
  // A step that fails leaves the window; it does not stay open for nobody.
  void Open(const std::function<void()>& aSteps) {
    QTimer::singleShot(0, Advanced.get(), [this, aSteps] {
      aSteps();
      if (Advanced->isVisible()) Advanced->reject();
    });
    Form->P_AdvancedBtnClick();
  }
  void ClickIn(const char* name) {
    auto* button = Advanced->findChild<QAbstractButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    // Near the left edge: a radio button takes clicks on its mark and text only.
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
  }
  std::vector<std::vector<int>> CalibWrites() const {
    std::vector<std::vector<int>> writes;
    for (const TraceEntry& e : SimTrace(TracePath).Requests())
      if (e.Fc == 16 && e.Addr == 40 && e.Count == 4) writes.push_back(e.Values);
    return writes;
  }
  // Waits until the supply has received the calibration command.
  ::testing::AssertionResult Received(std::vector<int> aValues) {
    if (QTest::qWaitFor([&] {
          const auto writes = CalibWrites();
          return !writes.empty() && writes.back() == aValues;
        }, 3000))
      return ::testing::AssertionSuccess();
    auto failure = ::testing::AssertionFailure() << "last calibration writes:";
    for (const auto& w : CalibWrites()) {
      failure << " [";
      for (int v : w) failure << v << ' ';
      failure << ']';
    }
    return failure;
  }
  std::vector<TraceEntry> GlobalWrites() const {
    return SimTrace(TracePath).Requests(
        [](const TraceEntry& e) { return e.Fc == 16 && e.Addr == 20 && e.Count == 11; });
  }
  TCalibration& Calib() const { return Advanced->Calibration(); }

  std::unique_ptr<TAdvancedForm> Advanced;
};

}  // namespace

TEST_F(CalibrationWindow, ARunStartsAppliesAndSavesPointsOnTheSupply) {
  Connect({"--firmware", "43", "--pver", "43", "--state", "1"}, TVersion::ver_43);
  EXPECT_TRUE(Advanced->TabVisible(Advanced->CalibTab()));
  EXPECT_TRUE(Calib().Calib_Temp_Btn2()->isEnabled());
  // Model 5005: three current choices, three decimals of current.
  EXPECT_EQ(Calib().IoutHighGroup()->findChildren<QRadioButton*>().size(), 3);

  Open([this] {
    Advanced->PageControl1()->setCurrentWidget(Advanced->CalibTab());
    // Opening reads the calibration block; the fields show the supply's values.
    ASSERT_TRUE(QTest::qWaitFor([this] { return Calib().Panel(0)->text() == " 6.000 V "; }, 3000));
    EXPECT_EQ(Calib().Panel(4)->text(), "0.0100 A ");
    EXPECT_TRUE(Advanced->findChild<QRadioButton*>("IoutHigh_2A")->isChecked());

    ClickIn("Calib_Uin_Btn1");
    ASSERT_TRUE(Received({1, 1, 0, 0}));
    EXPECT_EQ(Calib().InputLabel()->text(), "=6V");

    ClickIn("IoutHigh_5A");
    ClickIn("Calib_Iout_Btn2");
    ASSERT_TRUE(Received({1, 6, 500, 0}));

    ClickIn("Calib_Uout_Btn1");
    ASSERT_TRUE(Received({1, 3, 0, 0}));
    Form->CalibData.Uout1.Value = 70000;
    ClickIn("Applay_Uout_Btn1");
    ASSERT_TRUE(Received({2, 3, 4464, 1}));

    ClickIn("Calib_Save_Btn");
  });
  EXPECT_FALSE(Advanced->isVisible());
  ASSERT_TRUE(Received({3, 0, 0, 0}));
  const size_t afterSave = CalibWrites().size();

  // The saved point comes back from the supply at the next opening; leaving without any
  // start sends nothing.
  Open([this] {
    ASSERT_TRUE(QTest::qWaitFor([this] { return Calib().Panel(2)->text() == "70.000 V "; }, 3000));
    ClickIn("Button16");
  });
  QTest::qWait(200);
  EXPECT_EQ(CalibWrites().size(), afterSave);

  // Closing after a start leaves the calibration state on the supply.
  Open([this] {
    ClickIn("Calib_Uin_Btn2");
    ASSERT_TRUE(Received({1, 2, 0, 0}));
    Advanced->close();
  });
  ASSERT_TRUE(Received({4, 0, 0, 0}));
  EXPECT_FALSE(Calib().Calibrating());
}

TEST_F(CalibrationWindow, BatterySourceSavedWithTheGlobalBlockInLayoutB) {
  Connect({"--firmware", "43", "--pver", "43", "--vin", "36"}, TVersion::ver_43);
  ASSERT_TRUE(Advanced->TabVisible(Advanced->BatteryTab()));
  Open([this] {
    Advanced->PageControl1()->setCurrentWidget(Advanced->BatteryTab());
    TBatterySource& battery = Advanced->BatterySource();
    if (!battery.BatteryCheckBox()->isChecked()) ClickIn("BatteryCheckBox");
    ClickIn("BatteryCells2");
    EXPECT_EQ(Form->gData.UIN, 3600u);
    EXPECT_EQ(battery.BatteryPanel()->title(), "50 %");
    ClickIn("BatterySaveBtn");
  });
  ASSERT_TRUE(QTest::qWaitFor([this] { return !GlobalWrites().empty(); }, 3000));
  const TraceEntry write = GlobalWrites().back();
  ASSERT_EQ(write.Values.size(), 11u);
  EXPECT_TRUE(write.Values[5] & 8);  // PARAM
  EXPECT_EQ(write.Values[6], 3000);  // MINS
  EXPECT_EQ(write.Values[7], 4200);  // MAXS
  EXPECT_TRUE(Form->fModel.BSRC);
}

TEST_F(CalibrationWindow, LayoutAWritesTheBatteryFlagAsAWholeRegister) {
  Connect({"--firmware", "40"}, TVersion::ver_40);
  // A 5005 has no temperature sensor.
  EXPECT_FALSE(Calib().Calib_Temp_Btn2()->isEnabled());
  Open([this] {
    if (!Advanced->BatterySource().BatteryCheckBox()->isChecked()) ClickIn("BatteryCheckBox");
    ClickIn("OkBtn");
  });
  ASSERT_TRUE(QTest::qWaitFor([this] { return !GlobalWrites().empty(); }, 3000));
  EXPECT_EQ(GlobalWrites().back().Values[5], 0x8001);
  EXPECT_TRUE(Form->fModel.BSRC);
}

TEST_F(CalibrationWindow, FirmwareWithoutTheGlobalBlockHasNoCalibrationToRead) {
  Connect({"--firmware", "18"}, TVersion::ver_18);
  EXPECT_FALSE(Advanced->TabVisible(Advanced->CalibTab()));
  EXPECT_FALSE(Advanced->TabVisible(Advanced->BatteryTab()));
  Open([] { QTest::qWait(200); });
  EXPECT_TRUE(SimTrace(TracePath).Requests([](const TraceEntry& e) { return e.Addr == 400; }).empty());
}
