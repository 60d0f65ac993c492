// The advanced window as the user meets it, with a stand-in for the main window behind the
// update panel.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>

#include "advanced/AdvancedUnit.h"
#include "advanced/ColorBox.h"
#include "core/Dialogs.h"
#include "host/SettingsStore.h"
#include "tests/advanced/DeviceStandIn.h"
#include "tests/support/TestEnvironment.h"

namespace kelvora::test {
namespace {

struct StandIn {
  TUpdateLink link = TUpdateLink::Serial;
  TVersion version = TVersion::ver_43;
  TFirmwareUpdateHost Host() {
    return {[] { return false; }, [] {}, [] {}, [this] { return link; }, [this] { return version; },
            [] { return nullptr; }};
  }
};

class AdvancedForm : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettingsStore();
    // An image that passes the check made before the supply is sent to its bootloader.
    QFile file(images.filePath("image.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1024, '\x5A'));
    image = file.fileName();
    SetDialogResponder([this](const TDialogRequest& r) {
      TDialogReply reply;
      if (r.DialogType == TDialogRequest::Type::Color) {
        colorRequests << r.Color;
        reply.Color = pickedColor;
      }
      if (r.DialogType == TDialogRequest::Type::OpenFile) reply.FileName = image;
      if (r.DialogType == TDialogRequest::Type::Message) reply.Button = QMessageBox::Ok;
      return reply;
    });
  }
  void TearDown() override {
    form.reset();
    SetDialogResponder({});
  }
  QTemporaryDir images;
  QString image;
  TAdvancedForm& Create() {
    form = std::make_unique<TAdvancedForm>(main.Host(), device.Host());
    return *form;
  }
  template <typename T = QWidget>
  T* Find(const char* name) const {
    T* w = form->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  bool Enabled(const char* name) const { return Find(name)->isEnabled(); }

  StandIn main;
  DeviceStandIn device;
  std::unique_ptr<TAdvancedForm> form;
  QColor pickedColor;
  QList<QColor> colorRequests;
};

TEST_F(AdvancedForm, TabsComeInOrderAndTheModelTabsWaitForAnIdentifiedSupply) {
  TAdvancedForm& f = Create();
  EXPECT_EQ(f.windowTitle(), "Advanced Parameters");
  QTabWidget* tabs = f.PageControl1();
  const QStringList names{"ColorTab", "TabSheet1", "CalibTab", "HelpTab", "BatteryTab",
                          "PresentationTab", "AboutTab"};
  const QStringList captions{"Colors and Update", "Test Logging", "Calibration", "Help",
                             "Battery Source", "Presentation", "About"};
  ASSERT_EQ(tabs->count(), names.size());
  for (int i = 0; i < tabs->count(); ++i) {
    EXPECT_EQ(tabs->widget(i)->objectName(), names[i]);
    EXPECT_EQ(tabs->tabText(i), captions[i]);
  }
  EXPECT_EQ(tabs->currentWidget(), f.ColorTab());
  EXPECT_FALSE(f.TabVisible(f.HelpTab()));
  EXPECT_FALSE(f.TabVisible(f.CalibTab()));
  EXPECT_FALSE(f.TabVisible(f.BatteryTab()));
  // Showing a tab again puts it back in its own place.
  f.SetTabVisible(f.BatteryTab(), true);
  EXPECT_TRUE(f.TabVisible(f.BatteryTab()));
  EXPECT_EQ(tabs->indexOf(f.BatteryTab()), 4);
  // One Cancel only: the update panel's.
  EXPECT_EQ(f.findChildren<QPushButton*>("CancelBtn").size(), 1);
}

TEST_F(AdvancedForm, HelpPagesAreShippedWithTheProgram) {
  TAdvancedForm& f = Create();
  f.LoadPresentation(true);
  EXPECT_TRUE(f.WebBrowser1()->toPlainText().contains("Connecting"));
  EXPECT_TRUE(f.WebBrowser1()->toPlainText().contains("dialout"));
  f.LoadPresentation(false);
  EXPECT_TRUE(f.WebBrowser1()->toPlainText().contains("Updating the firmware"));
  f.HelpFileBtnClick();
  EXPECT_TRUE(f.TabVisible(f.HelpTab()));
  EXPECT_EQ(f.PageControl1()->currentWidget(), f.HelpTab());
  EXPECT_TRUE(f.WebBrowser2()->toPlainText().contains("Calibrating"));
}

TEST_F(AdvancedForm, LoggingOptionsStartFromTheirDefaults) {
  TAdvancedForm& f = Create();
  EXPECT_TRUE(f.LogTimeRadioBtn()->isChecked());
  EXPECT_EQ(f.LogIntervalComboBox()->count(), 14);
  EXPECT_EQ(f.LogIntervalComboBox()->itemText(13), "Save every 30 min.");
  EXPECT_EQ(f.GetLogInterval(), 3);
  EXPECT_EQ(f.UoutComboBox()->currentIndex(), 1);
  EXPECT_EQ(f.IoutComboBox()->currentIndex(), 2);
  EXPECT_TRUE(f.LogTextRadioBtn()->isChecked());
  EXPECT_TRUE(f.LogExcelRadioBtn()->isEnabled());
  EXPECT_TRUE(f.LogIntervalComboBox()->isEnabled());
  EXPECT_FALSE(f.UoutComboBox()->isEnabled());
  EXPECT_FALSE(f.IoutComboBox()->isEnabled());

  // Switching the mode moves the enabled lists; back again reverses it.
  f.LogEventRadioBtn()->click();
  EXPECT_FALSE(f.LogIntervalComboBox()->isEnabled());
  EXPECT_TRUE(f.UoutComboBox()->isEnabled());
  EXPECT_TRUE(f.IoutComboBox()->isEnabled());
  f.LogTimeRadioBtn()->click();
  EXPECT_TRUE(f.LogIntervalComboBox()->isEnabled());
  EXPECT_FALSE(f.UoutComboBox()->isEnabled());

  f.LogIntervalComboBox()->setCurrentIndex(9);
  EXPECT_EQ(f.GetLogInterval(), 120);
  // No selection falls back to the default interval rather than reading outside the table.
  f.LogIntervalComboBox()->setCurrentIndex(-1);
  EXPECT_EQ(f.GetLogInterval(), 3);
}

TEST_F(AdvancedForm, LoggingOptionsAreRestoredAtCreationAndStoredOnRequest) {
  RegWriteInteger("LOG", 1);
  RegWriteInteger("LTIM", 9);
  RegWriteInteger("LUEV", 6);
  RegWriteInteger("LIEV", 0);
  RegWriteInteger("EXCEL", 1);
  TAdvancedForm& f = Create();
  EXPECT_TRUE(f.LogEventRadioBtn()->isChecked());
  EXPECT_FALSE(f.LogIntervalComboBox()->isEnabled());
  EXPECT_EQ(f.GetLogInterval(), 120);
  EXPECT_EQ(f.UoutComboBox()->currentIndex(), 6);
  EXPECT_EQ(f.IoutComboBox()->currentIndex(), 0);
  EXPECT_TRUE(f.LogExcelRadioBtn()->isChecked());

  f.LogTimeRadioBtn()->click();
  f.LogTextRadioBtn()->click();
  f.LogIntervalComboBox()->setCurrentIndex(13);
  f.UoutComboBox()->setCurrentIndex(3);
  f.IoutComboBox()->setCurrentIndex(5);
  // Nothing is written before the main window closes.
  EXPECT_EQ(RegReadInteger("LTIM"), 9);
  f.StoreLogSettings();
  EXPECT_EQ(RegReadInteger("LOG"), 0);
  EXPECT_EQ(RegReadInteger("EXCEL"), 0);
  EXPECT_EQ(RegReadInteger("LTIM"), 13);
  EXPECT_EQ(RegReadInteger("LUEV"), 3);
  EXPECT_EQ(RegReadInteger("LIEV"), 5);
}

TEST_F(AdvancedForm, StoredIndexesOutsideTheirListsGiveTheDefaults) {
  RegWriteInteger("LTIM", 14);
  RegWriteInteger("LUEV", -1);
  RegWriteInteger("LIEV", 7);
  TAdvancedForm& f = Create();
  EXPECT_EQ(f.LogIntervalComboBox()->currentIndex(), 2);
  EXPECT_EQ(f.GetLogInterval(), 3);
  EXPECT_EQ(f.UoutComboBox()->currentIndex(), 1);
  EXPECT_EQ(f.IoutComboBox()->currentIndex(), 2);
}

TEST_F(AdvancedForm, ColoursFromTheDialogSelectANamedEntryOrAreAddedOnce) {
  TAdvancedForm& f = Create();
  QComboBox* box = f.ColorBox(2);
  const int named = box->count();
  f.UpdateColorBox(box, 0x00FF00);  // lime
  ASSERT_EQ(SelectedColor(box), 0x00FF00u);

  // The dialog starts from the box's colour; a named colour selects its own entry.
  pickedColor = QColor("red");
  f.ClrBtnClick(2);
  ASSERT_EQ(colorRequests.size(), 1);
  EXPECT_EQ(colorRequests[0], QColor(0, 255, 0));
  EXPECT_EQ(box->count(), named);
  EXPECT_EQ(box->currentText(), "red");
  EXPECT_EQ(SelectedColor(box), 0x0000FFu);

  // An unnamed colour is added once, named by its blue, green and red digits.
  pickedColor = QColor(0xFF, 0x80, 0x01);
  f.ClrBtnClick(2);
  f.ClrBtnClick(2);
  EXPECT_EQ(box->count(), named + 1);
  EXPECT_EQ(box->currentText(), "RGB 0180FF");
  EXPECT_EQ(SelectedColor(box), 0x0180FFu);

  // Cancelling the dialog keeps the selection; the other boxes are untouched.
  pickedColor = QColor();
  f.ClrBtnClick(2);
  EXPECT_EQ(box->currentText(), "RGB 0180FF");
  EXPECT_EQ(f.ColorBox(1)->count(), named);
}

TEST_F(AdvancedForm, OpenFirmwareFileOnlyForANewEnoughFirmwareOnAPlainSerialPort) {
  struct Case {
    TVersion version;
    TUpdateLink link;
    bool enabled;
  };
  TAdvancedForm& f = Create();
  for (const Case c : {Case{TVersion::ver_40, TUpdateLink::Serial, true},
                       Case{TVersion::ver_New, TUpdateLink::Serial, true},
                       Case{TVersion::ver_36, TUpdateLink::Serial, false},
                       Case{TVersion::ver_18, TUpdateLink::Serial, false},
                       Case{TVersion::ver_43, TUpdateLink::Tcp, false},
                       Case{TVersion::ver_43, TUpdateLink::Bluetooth, false}}) {
    main.version = c.version;
    main.link = c.link;
    f.FirmwareUpdate().PrepareOpen();
    EXPECT_EQ(Enabled("OpenFileBtn"), c.enabled) << int(c.version) << " " << int(c.link);
    EXPECT_FALSE(Enabled("StartUpdateBtn"));
  }
  EXPECT_EQ(UpdateLinkOf("TCP"), TUpdateLink::Tcp);
  EXPECT_EQ(UpdateLinkOf("/dev/rfcomm0 BT KPX5005"), TUpdateLink::Bluetooth);
  EXPECT_EQ(UpdateLinkOf("/dev/ttyUSB0"), TUpdateLink::Serial);
}

TEST_F(AdvancedForm, TheWindowCannotBeClosedWhileAnUpdateHoldsThePort) {
  TAdvancedForm& f = Create();
  f.FirmwareUpdate().Timer1()->setInterval(20);
  f.FirmwareUpdate().PrepareOpen();
  f.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&f));
  f.FirmwareUpdate().OpenFileBtnClick();
  f.FirmwareUpdate().StartUpdateBtnClick();
  ASSERT_TRUE(f.FirmwareUpdate().Busy());
  for (const char* name : {"OkBtn", "CancelBtn", "ApplayTestLogBtn", "OpenFileBtn", "StartUpdateBtn"})
    EXPECT_FALSE(Enabled(name)) << name;

  f.reject();
  f.accept();
  f.close();
  QTest::keyClick(&f, Qt::Key_Escape);
  EXPECT_TRUE(f.isVisible());

  // Without a port to open the update ends at the sixth tick and gives the window back.
  ASSERT_TRUE(QTest::qWaitFor([&] { return !f.FirmwareUpdate().Busy(); }, 3000));
  EXPECT_TRUE(f.FirmwareUpdate().Memo1()->toPlainText().contains("Cannot open"));
  EXPECT_TRUE(Enabled("CancelBtn"));
  EXPECT_FALSE(Enabled("OkBtn"));
  QTest::mouseClick(Find<QPushButton>("CancelBtn"), Qt::LeftButton);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.result(), QDialog::Rejected);

  // The next opening enables the buttons again and shows the information text.
  f.FirmwareUpdate().PrepareOpen();
  f.show();
  EXPECT_TRUE(Enabled("OkBtn"));
  EXPECT_TRUE(Enabled("ApplayTestLogBtn"));
  EXPECT_TRUE(f.FirmwareUpdate().Memo1()->toPlainText().startsWith("The update is avialable"));
}

TEST_F(AdvancedForm, SaveAcceptsAndApplyClosesWithoutTakingOver) {
  TAdvancedForm& f = Create();
  f.show();
  QTest::mouseClick(Find<QPushButton>("OkBtn"), Qt::LeftButton);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.result(), QDialog::Accepted);
  f.show();
  QTest::mouseClick(Find<QPushButton>("ApplayTestLogBtn"), Qt::LeftButton);
  EXPECT_FALSE(f.isVisible());
  EXPECT_EQ(f.result(), QDialog::Rejected);
}

}  // namespace
}  // namespace kelvora::test
