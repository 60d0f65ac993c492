// The calibration tab as the user meets it, with stand-ins for the main window's records and
// its calibration command.

#include <gtest/gtest.h>

#include <QDir>
#include <QGroupBox>
#include <QTabWidget>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include "advanced/AdvancedUnit.h"
#include "advanced/CalibText.h"
#include "advanced/Calibration.h"
#include "advanced/ValuePanel.h"
#include "advanced/WaitFormUnit.h"
#include "panel/Indicator.h"
#include "tests/advanced/DeviceStandIn.h"
#include "tests/support/TestEnvironment.h"

namespace kelvora::test {
namespace {

using M = TCalib_Mode;

TFirmwareUpdateHost NoUpdate() {
  return {[] { return false; }, [] {}, [] {}, [] { return TUpdateLink::Serial; },
          [] { return TVersion::ver_43; }, [] { return nullptr; }};
}

class Calibration : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettingsStore();
    form = std::make_unique<TAdvancedForm>(NoUpdate(), device.Host(true));
    form->SetTabVisible(form->CalibTab(), true);
    calib = &form->Calibration();
    calib->FillIoutHighGroup(5005);
  }
  void TearDown() override { form.reset(); }

  void Click(QWidget* w) { QTest::mouseClick(w, Qt::LeftButton); }
  void Start(int index) { Click(calib->StartBtn(index - 1)); }
  void Apply(int index) { Click(calib->ApplayBtn(index - 1)); }
  QRadioButton* IoutHigh(const char* item) const {
    return form->findChild<QRadioButton*>(QString("IoutHigh_") + item);
  }
  // The colour of the wiring picture at a point of the picture.
  QColor PictureAt(int x, int y) const { return calib->Image1()->pixmap().toImage().pixelColor(x, y); }
  // Runs the window modally, doing aSteps once it is up.
  // A step that fails leaves the window; it does not stay open for nobody.
  int RunModal(const std::function<void()>& aSteps) {
    QTimer::singleShot(0, form.get(), [this, aSteps] {
      aSteps();
      if (form->isVisible()) form->reject();
    });
    return form->exec();
  }

  DeviceStandIn device;
  std::unique_ptr<TAdvancedForm> form;
  TCalibration* calib = nullptr;
};

TEST(CalibrationText, ValuesChoicesAndCurrents) {
  EXPECT_EQ(FormatCalibValue(6000, 4), " 6.000");
  EXPECT_EQ(FormatCalibValue(70000, 4), "70.000");
  EXPECT_EQ(FormatCalibValue(20345, 5), "2.0345");
  EXPECT_EQ(FormatCalibValue(5, 5), "0.0005");
  EXPECT_EQ(FormatCalibValue(99999, 4), "99.999");
  EXPECT_EQ(FormatCalibValue(100000, 4), "-----");

  EXPECT_EQ(IoutHighItems(3003), QStringList({"3A", "2A"}));
  EXPECT_EQ(IoutHighItems(8005), QStringList({"5A", "3A", "2A"}));
  EXPECT_EQ(IoutHighItems(6012), IoutHighItems(3012));
  EXPECT_EQ(IoutHighItems(5020), QStringList({"20A", "15A", "10A", "8A", "5A", "3A"}));
  EXPECT_TRUE(IoutHighItems(1234).isEmpty());
  for (const QString& item : IoutHighItems(5020)) EXPECT_EQ(IoutHighCurrent(item), item.chopped(1).toUInt() * 100);
  EXPECT_EQ(IoutHighCurrent("2A"), 200);
  EXPECT_EQ(IoutHighCurrent("4A"), 0);
}

TEST_F(Calibration, StartingAPointOpensItsFieldDrawsItsLeadsAndStartsTheRun) {
  EXPECT_FALSE(calib->Calibrating());
  for (int tag = 0; tag < 7; ++tag) {
    EXPECT_FALSE(calib->Panel(tag)->isEnabled()) << tag;
    EXPECT_FALSE(calib->ApplayBtn(tag)->isEnabled()) << tag;
  }
  EXPECT_EQ(calib->StartBtn(0)->text(), "Start U input  Low");
  EXPECT_FALSE(calib->Calib_Save_Btn()->isEnabled());

  Start(1);
  EXPECT_EQ(device.Commands, (std::vector<CalibCommand>{{M::calib_mode_start, 1, 0}}));
  EXPECT_TRUE(calib->Calibrating());
  EXPECT_EQ(calib->InputLabel()->text(), "=6V");
  EXPECT_TRUE(calib->Panel(0)->isEnabled());
  EXPECT_TRUE(calib->ApplayBtn(0)->isEnabled());
  EXPECT_FALSE(calib->ApplayBtn(1)->isEnabled());
  EXPECT_EQ(calib->Panel(0)->Color(), TCalibration::kNotApplied);
  // The meter across the input: red over the top, black below.
  EXPECT_EQ(PictureAt(330, 15), QColor(Qt::red));
  EXPECT_EQ(PictureAt(330, 115), QColor(Qt::black));
  EXPECT_EQ(PictureAt(450, 60), QColor(Qt::red));

  // Another group: the earlier leads are gone, the output leads drawn.
  Start(3);
  EXPECT_EQ(calib->InputLabel()->text(), ">25V");
  EXPECT_FALSE(calib->Panel(0)->isEnabled());
  EXPECT_TRUE(calib->Panel(2)->isEnabled());
  EXPECT_NE(PictureAt(330, 15), QColor(Qt::red));
  EXPECT_EQ(PictureAt(460, 80), QColor(Qt::red));
  EXPECT_EQ(PictureAt(430, 120), QColor(Qt::black));
  Start(5);
  EXPECT_EQ(PictureAt(480, 100), QColor(Qt::red));
  EXPECT_NE(PictureAt(460, 110), QColor(Qt::red));

  // Temperature: no leads, the thermometer instead.
  Start(7);
  EXPECT_NE(PictureAt(480, 100), QColor(Qt::red));
  EXPECT_FALSE(calib->TermometerImage()->isHidden());
  Start(1);
  EXPECT_TRUE(calib->TermometerImage()->isHidden());
}

TEST_F(Calibration, OutputCurrentHighStartsWithTheChosenCurrentAndLocksTheChoice) {
  ASSERT_NE(IoutHigh("5A"), nullptr);
  // The lowest current is chosen after filling.
  EXPECT_TRUE(IoutHigh("2A")->isChecked());
  QTest::mouseClick(IoutHigh("5A"), Qt::LeftButton, {}, QPoint(6, 6));
  Start(6);
  EXPECT_EQ(device.Commands.back(), (CalibCommand{M::calib_mode_start, 6, 500}));
  EXPECT_FALSE(calib->IoutHighGroup()->isEnabled());
  Start(5);
  EXPECT_TRUE(calib->IoutHighGroup()->isEnabled());
  EXPECT_EQ(device.Commands.back(), (CalibCommand{M::calib_mode_start, 5, 0}));

  // The choices follow the model; a model without choices cannot start the point.
  calib->FillIoutHighGroup(6012);
  EXPECT_EQ(calib->IoutHighGroup()->findChildren<QRadioButton*>().size(), 4);
  EXPECT_EQ(IoutHigh("2A"), nullptr);
  EXPECT_TRUE(IoutHigh("3A")->isChecked());
  EXPECT_TRUE(calib->StartBtn(5)->isEnabled());
  calib->FillIoutHighGroup(1234);
  EXPECT_TRUE(calib->IoutHighGroup()->findChildren<QRadioButton*>().isEmpty());
  EXPECT_FALSE(calib->StartBtn(5)->isEnabled());
}

TEST_F(Calibration, ApplyingMarksThePointAndStartingItAgainClearsTheMark) {
  device.CalibData.Uout1.Value = 70000;
  Start(3);
  Apply(3);
  // The main window sends the point's value; the tab gives the index.
  EXPECT_EQ(device.Commands.back(), (CalibCommand{M::calib_mode_fix, 3, 0}));
  EXPECT_EQ(calib->Panel(2)->Color(), TCalibration::kApplied);
  EXPECT_FALSE(calib->ApplayBtn(2)->isEnabled());
  EXPECT_FALSE(calib->Panel(2)->isEnabled());
  EXPECT_TRUE(calib->Calib_Save_Btn()->isEnabled());

  Start(1);
  Apply(1);
  Start(3);
  EXPECT_EQ(calib->Panel(2)->Color(), TCalibration::kNotApplied);
  EXPECT_TRUE(calib->Calib_Save_Btn()->isEnabled());  // input low is still applied
  Start(1);
  EXPECT_FALSE(calib->Calib_Save_Btn()->isEnabled());
}

TEST_F(Calibration, SaveEndsTheRunAndClosesTheWindowAndLeavingSendsExitOnlyAfterAStart) {
  const int saved = RunModal([this] {
    Start(2);
    Apply(2);
    Click(calib->Calib_Save_Btn());
  });
  EXPECT_EQ(saved, QDialog::Rejected);
  EXPECT_FALSE(form->isVisible());
  EXPECT_EQ(device.Commands, (std::vector<CalibCommand>{{M::calib_mode_start, 2, 0},
                                                        {M::calib_mode_fix, 2, 0},
                                                        {M::calib_mode_save, 0, 0}}));
  EXPECT_FALSE(calib->Calibrating());
  EXPECT_EQ(calib->Panel(1)->Color(), TCalibration::kNotApplied);
  EXPECT_FALSE(calib->Calib_Save_Btn()->isEnabled());

  // Opened and closed without a start: nothing is sent.
  device.Commands.clear();
  RunModal([this] { form->close(); });
  EXPECT_TRUE(device.Commands.empty());

  // Started, applied, then left with "Cancel": the supply leaves its calibration state.
  RunModal([this] {
    Start(4);
    calib->Applay_BtnClick(0);  // a stale point does not open the wait window
    Click(form->findChild<QPushButton*>("Button16"));
  });
  EXPECT_EQ(device.Commands.back(), (CalibCommand{M::calib_mode_exit, 0, 0}));
  EXPECT_FALSE(calib->Calibrating());
  EXPECT_FALSE(calib->Calib_Save_Btn()->isEnabled());
  EXPECT_EQ(calib->Panel(0)->Color(), TCalibration::kNotApplied);
  EXPECT_FALSE(calib->ApplayBtn(3)->isEnabled());
  // The close box after a start does the same.
  device.Commands.clear();
  RunModal([this] {
    Start(1);
    form->close();
  });
  EXPECT_EQ(device.Commands.back(), (CalibCommand{M::calib_mode_exit, 0, 0}));
}

TEST_F(Calibration, FieldsShowTheRecordAndEditItThroughTheFiveDigitWindow) {
  device.CalibData.Uin1.Value = 6000;
  device.CalibData.Iout1.Value = 20345;
  device.CalibData.Uout2.Value = 123456;
  device.CalibData.Tmp2.Value = 50;
  form->CalibDataChanged();
  EXPECT_EQ(calib->Panel(0)->text(), " 6.000 V ");
  EXPECT_EQ(calib->Panel(3)->text(), "----- V ");
  EXPECT_EQ(calib->Panel(4)->text(), "20.345 A ");
  EXPECT_EQ(calib->Panel(6)->text(), "50 C ");
  calib->SetCurrentDivider_10();
  form->CalibDataChanged();
  EXPECT_EQ(calib->Panel(4)->text(), "2.0345 A ");
  EXPECT_EQ(calib->Indicator(5).PointPos, 5u);
  calib->SetCurrentDivider_1();
  form->CalibDataChanged();
  EXPECT_EQ(calib->Panel(4)->text(), "20.345 A ");
  calib->SetCurrentDivider_10();
  form->CalibDataChanged();

  form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(form.get()));
  TEnterForm2& entry = *device.EnterForm2;
  // A closed field does not open.
  Click(calib->Panel(0));
  EXPECT_FALSE(entry.isVisible());
  Start(1);
  Click(calib->Panel(0));
  ASSERT_TRUE(entry.isVisible());
  EXPECT_EQ(entry.Indicator(), &calib->Indicator(0));
  EXPECT_EQ(entry.toolTip(), calib->Panel(0)->toolTip());
  const QRect field(calib->Panel(0)->mapToGlobal(QPoint(0, 0)), calib->Panel(0)->size());
  EXPECT_EQ(entry.geometry().bottom(), field.bottom());
  EXPECT_EQ(entry.geometry().right(), field.right() - 3);
  // The cursor starts on the leftmost of five digits: typing 1 makes 16.000 V.
  entry.FormActivate();
  entry.FormKeyPress('1');
  EXPECT_EQ(device.CalibData.Uin1.Value, 16000u);
  EXPECT_EQ(calib->Panel(0)->text(), "16.000 V ");
}

TEST(WaitForm, ClosesAfterThirtyTicksOrWhenTheOutputFallsByMoreThanOneVolt) {
  uint32_t uout = 3000;
  {
    TWaitForm wait(uout, nullptr);
    EXPECT_EQ(wait.Label1()->text(), "Please WAIT");
    EXPECT_EQ(wait.size(), QSize(358, 189));
    EXPECT_TRUE(wait.Timer1()->isActive());
    wait.show();
    for (int tick = 1; tick < TWaitForm::kTicks; ++tick) wait.Timer1Timer();
    EXPECT_TRUE(wait.isVisible());
    EXPECT_EQ(wait.ProgressBar1()->value(), 1);
    wait.Timer1Timer();
    EXPECT_FALSE(wait.isVisible());
  }
  {
    TWaitForm wait(uout, nullptr);
    wait.show();
    // A rise, however large, or a fall of exactly 1.00 V keeps it open.
    uout = 9000;
    wait.Timer1Timer();
    uout = 2900;
    wait.Timer1Timer();
    EXPECT_TRUE(wait.isVisible());
    uout = 2899;
    wait.Timer1Timer();
    EXPECT_FALSE(wait.isVisible());
    EXPECT_EQ(wait.ProgressBar1()->value(), TWaitForm::kTicks - 3);
  }
}

TEST_F(Calibration, ApplyingOutputVoltageHighWaitsForTheOutputToFall) {
  device.gData.UOUT = 3050;
  RunModal([this] {
    Start(4);
    QTimer::singleShot(0, form.get(), [this] {
      TWaitForm* wait = calib->WaitForm();
      ASSERT_NE(wait, nullptr);
      EXPECT_TRUE(wait->isModal());
      EXPECT_EQ(wait->Uout(), 3050);
      device.gData.UOUT = 1000;
      wait->Timer1Timer();
    });
    Apply(4);
    // Back here only once the wait window has closed.
    EXPECT_EQ(calib->WaitForm(), nullptr);
    EXPECT_EQ(device.Commands.back(), (CalibCommand{M::calib_mode_fix, 4, 0}));
    form->reject();
  });
}

// The entry windows are the main window's; the modal window must not shut them out.
TEST_F(Calibration, TheEntryWindowTakesInputWhileTheWindowIsModalAndGoesBackAfter) {
  uint16_t cursor = 0;
  TEnterForm2& entry = *device.EnterForm2;
  QWidget owner;
  entry.setParent(&owner, entry.windowFlags());
  RunModal([&] {
    Start(1);
    Click(calib->Panel(0));
    QWidget* seg = entry.findChild<QWidget*>("Seg3");
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&entry));
    QTest::mouseClick(entry.windowHandle(), Qt::LeftButton, {}, seg->geometry().center());
    cursor = calib->Indicator(0).CursorPos();
    form->reject();
  });
  EXPECT_EQ(cursor, 3);
  EXPECT_EQ(entry.parentWidget(), &owner);
  EXPECT_FALSE(entry.isVisible());
  entry.setParent(nullptr, entry.windowFlags());
}

}  // namespace

TEST_F(Calibration, GalleryOfTheCalibrationAndBatteryTabs) {
  Start(1);
  form->PageControl1()->setCurrentWidget(form->CalibTab());
  form->show();
  QTest::qWait(50);
  QDir().mkpath(KELVORA_GALLERY_DIR);
  const QDir gallery(KELVORA_GALLERY_DIR);
  EXPECT_TRUE(form->grab().save(gallery.filePath("advanced-calibration.png")));
  form->SetTabVisible(form->BatteryTab(), true);
  form->PageControl1()->setCurrentWidget(form->BatteryTab());
  QTest::qWait(50);
  EXPECT_TRUE(form->grab().save(gallery.filePath("advanced-battery.png")));
  form->PageControl1()->setCurrentWidget(form->ColorTab());
  QTest::qWait(50);
  EXPECT_TRUE(form->grab().save(gallery.filePath("advanced-colours-update.png")));
}

}  // namespace kelvora::test
