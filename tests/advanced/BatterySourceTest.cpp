// The battery-source tab with stand-ins for the main window's records.

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QGroupBox>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>

#include "advanced/AdvancedUnit.h"
#include "advanced/BatterySource.h"
#include "advanced/ValuePanel.h"
#include "panel/Indicator.h"
#include "tests/advanced/DeviceStandIn.h"
#include "tests/support/TestEnvironment.h"

namespace kelvora::test {
namespace {

TFirmwareUpdateHost NoUpdate() {
  return {[] { return false; }, [] {}, [] {}, [] { return TUpdateLink::Serial; },
          [] { return TVersion::ver_43; }, [] { return nullptr; }};
}

class BatterySource : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettingsStore();
    device.gData.MAXS = 2520;
    device.gData.MINS = 1800;
    device.gData.UIN = 2160;
    device.fModel.BSRC = true;
    form = std::make_unique<TAdvancedForm>(NoUpdate(), device.Host(true));
    form->SetTabVisible(form->BatteryTab(), true);
    form->PageControl1()->setCurrentWidget(form->BatteryTab());
    battery = &form->BatterySource();
    battery->UpdateBattery();
  }
  void TearDown() override { form.reset(); }
  QRadioButton* Cells(int index) const {
    return form->findChild<QRadioButton*>(QString("BatteryCells%1").arg(index));
  }
  // A value typed into a field: the indicator writes it and reports the change.
  void Type(TIndicator& ind, uint32_t value) {
    *ind.ValuePtr = value;
    if (ind.OnChange()) ind.OnChange()(&ind);
  }

  DeviceStandIn device;
  std::unique_ptr<TAdvancedForm> form;
  TBatterySource* battery = nullptr;
};

TEST(BatteryText, VoltagesAndChargeLevel) {
  EXPECT_EQ(FormatBatteryVoltage(2520), "25.20 V ");
  EXPECT_EQ(FormatBatteryVoltage(420), " 4.20 V ");
  EXPECT_EQ(FormatBatteryVoltage(9999), "99.99 V ");
  EXPECT_EQ(FormatBatteryVoltage(10000), "----- V ");
  EXPECT_EQ(ChargeLevel(3600, 3000, 4200), 50u);
  EXPECT_EQ(ChargeLevel(3599, 3000, 4200), 49u);  // truncated
  EXPECT_EQ(ChargeLevel(2999, 3000, 4200), 0u);
  EXPECT_EQ(ChargeLevel(4201, 3000, 4200), 100u);
  // A range of no width: no division, full at its voltage.
  EXPECT_EQ(ChargeLevel(3000, 3000, 3000), 100u);
  EXPECT_EQ(ChargeLevel(2999, 3000, 3000), 0u);
}

TEST_F(BatterySource, OpensOnTheSuppliesStateAndTheBoxSwitchesTheControls) {
  EXPECT_TRUE(battery->BatteryCheckBox()->isChecked());
  EXPECT_EQ(battery->MAXS_Panel()->text(), "25.20 V ");
  EXPECT_EQ(battery->MINS_Panel()->text(), "18.00 V ");
  EXPECT_EQ(battery->BatteryRadioIndex(), 0);
  EXPECT_EQ(battery->ProgressBar1()->value(), 50);
  EXPECT_EQ(battery->BatteryPanel()->title(), "50 %");

  QTest::mouseClick(battery->BatteryCheckBox(), Qt::LeftButton);
  EXPECT_FALSE(battery->BatteryCheckBox()->isChecked());
  EXPECT_FALSE(battery->MAXS_Panel()->isEnabled());
  EXPECT_FALSE(battery->MINS_Panel()->isEnabled());
  EXPECT_FALSE(battery->BatteryRadioGroup()->isEnabled());
  EXPECT_TRUE(battery->BatteryPanel()->isHidden());

  device.fModel.BSRC = true;
  battery->UpdateBattery();
  EXPECT_TRUE(battery->MAXS_Panel()->isEnabled());
  EXPECT_FALSE(battery->BatteryPanel()->isHidden());
}

TEST_F(BatterySource, PresetsSetBothVoltagesAndTypedVoltagesFindTheirPreset) {
  QTest::mouseClick(Cells(2), Qt::LeftButton);
  EXPECT_EQ(Cells(2)->text(), "10 cells");
  EXPECT_EQ(device.gData.MAXS, 4200u);
  EXPECT_EQ(device.gData.MINS, 3000u);
  EXPECT_EQ(battery->MAXS_Panel()->text(), "42.00 V ");
  EXPECT_EQ(battery->MINS_Panel()->text(), "30.00 V ");
  EXPECT_EQ(battery->BatteryRadioIndex(), 2);
  EXPECT_EQ(battery->BatteryPanel()->title(), "0 %");
  device.gData.UIN = 3600;
  QTest::mouseClick(Cells(2), Qt::LeftButton);
  EXPECT_EQ(battery->BatteryPanel()->title(), "50 %");

  Type(battery->MaxsInd(), 4100);
  EXPECT_EQ(battery->BatteryRadioIndex(), -1);
  EXPECT_EQ(battery->MAXS_Panel()->text(), "41.00 V ");
  // Only the full voltage is compared.
  Type(battery->MaxsInd(), 5040);
  EXPECT_EQ(battery->BatteryRadioIndex(), 3);
  EXPECT_EQ(Cells(3)->text(), "12 Cells");
  EXPECT_EQ(device.gData.MINS, 3000u);
  // Both ends at one voltage does not stop the tab.
  Type(battery->MaxsInd(), 3000);
  Type(battery->MinsInd(), 3000);
  EXPECT_EQ(battery->BatteryPanel()->title(), "100 %");
}

TEST_F(BatterySource, FieldsOpenTheFourDigitWindowOverThemselves) {
  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  TEnterForm& entry = *device.EnterForm;
  for (TValuePanel* panel : {battery->MAXS_Panel(), battery->MINS_Panel()}) {
    QTest::mouseClick(panel, Qt::LeftButton);
    ASSERT_TRUE(entry.isVisible());
    EXPECT_EQ(entry.Indicator(), panel->Tag() == 0 ? &battery->MaxsInd() : &battery->MinsInd());
    EXPECT_EQ(entry.toolTip(), panel->toolTip());
    const QRect field(panel->mapToGlobal(QPoint(0, 0)), panel->size());
    EXPECT_EQ(entry.geometry().left(), field.left());
    EXPECT_EQ(entry.geometry().bottom(), field.bottom());
    entry.hide();
  }
  // Typing into MAXS: the leftmost digit 3 makes 35.20 V, no preset.
  QTest::mouseClick(battery->MAXS_Panel(), Qt::LeftButton);
  entry.FormActivate();
  entry.FormKeyPress('3');
  EXPECT_EQ(device.gData.MAXS, 3520u);
  EXPECT_EQ(battery->MAXS_Panel()->text(), "35.20 V ");
  EXPECT_EQ(battery->BatteryRadioIndex(), -1);
  // "Save" closes the window for the opener to take the settings over.
  entry.hide();
  QTest::mouseClick(battery->BatterySaveBtn(), Qt::LeftButton);
  EXPECT_EQ(form->result(), QDialog::Accepted);
}

}  // namespace
}  // namespace kelvora::test
