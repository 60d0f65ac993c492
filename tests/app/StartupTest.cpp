#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QRegularExpression>
#include <QLineEdit>
#include <QPushButton>

#include "advanced/AdvancedUnit.h"
#include "app/CategoryPanel.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "autotest/TestUnit.h"
#include "panel/EnterUnit.h"
#include "panel/EnterUnit2.h"
#include "host/SettingsStore.h"
#include "tests/support/TestEnvironment.h"

namespace {

class Startup : public ::testing::Test {
 protected:
  void SetUp() override { kelvora::test::ClearSettingsStore(); }

  template <typename T = QWidget>
  static T* Find(const char* name) {
    return MainForm->findChild<T*>(name);
  }
};

}  // namespace

TEST_F(Startup, CreatesTheFiveWindowsInOrderWithTheirCaptions) {
  TProgramWindows windows;
  EXPECT_EQ(windows.CreationOrder(),
            (QStringList{"MainForm", "EnterForm2", "AdvancedForm", "TestForm", "EnterForm"}));
  ASSERT_TRUE(MainForm && EnterForm2 && AdvancedForm && TestForm && EnterForm);
  EXPECT_EQ(MainForm->windowTitle(), "Kelvora");
  EXPECT_EQ(AdvancedForm->windowTitle(), "Advanced Parameters");
  EXPECT_EQ(TestForm->windowTitle(), "Auto Test");
  MainForm->show();
  EXPECT_EQ(MainForm->size(), QSize(880, 512));
  EXPECT_EQ(MainForm->minimumSize(), MainForm->maximumSize());  // fixed border
}

TEST_F(Startup, CaptionsAreTheWindowsOwnWithoutTheProgramsNameAppended) {
  // Qt appends a display name to every caption the window system shows (X11, Wayland); the
  // desktop matches the windows to the installed entry by the desktop file name instead.
  EXPECT_EQ(QGuiApplication::applicationDisplayName(), QGuiApplication::applicationName());
  EXPECT_EQ(QGuiApplication::desktopFileName(), "com.ardentix.kelvora");
}

TEST_F(Startup, TheHelpPageNamesTheWindowsRealPanelsAndButtons) {
  TProgramWindows windows;
  QFile page(":/help/kelvora-help.html");
  ASSERT_TRUE(page.open(QIODevice::ReadOnly));
  const QString help = QString::fromUtf8(page.readAll());
  QStringList panels;
  for (const TCategoryPanel* panel : MainForm->findChildren<TCategoryPanel*>()) panels << panel->Caption();
  // Every "<b>X</b> panel" of the page is a side panel of the window.
  const QRegularExpression named("<b>([^<]+)</b> panel");
  int count = 0;
  for (auto it = named.globalMatch(help); it.hasNext(); ++count) {
    const QString name = it.next().captured(1);
    EXPECT_TRUE(panels.contains(name)) << name.toStdString() << " is no panel of the window";
  }
  EXPECT_GE(count, 3);
  // Every other bold name is a caption on the window or one of the presets.
  const QRegularExpression bold("<b>([^<]+)</b>");
  QStringList captions = panels;
  for (const QAbstractButton* button : MainForm->findChildren<QAbstractButton*>())
    captions << button->text().trimmed();
  for (const QLabel* label : MainForm->findChildren<QLabel*>()) captions << label->text().trimmed();
  const QStringList elsewhere{"USB cable.", "Bluetooth.", "Wi-Fi / TCP.", "BT", "TCP",
                              "Auto Test", "Test Logging", "Log by time", "Log by event",
                              "Colors and Update",
                              // the buttons of the question that offers an unsaved log
                              "Yes", "No", "Later"};
  for (auto it = bold.globalMatch(help); it.hasNext();) {
    const QString name = it.next().captured(1);
    if (elsewhere.contains(name)) continue;
    EXPECT_TRUE(captions.contains(name)) << name.toStdString() << " is not on the main window";
  }
}

TEST_F(Startup, MainWindowHoldsTheNamedRegionsAtTheirPlaces) {
  TProgramWindows windows;
  const std::pair<const char*, QRect> regions[] = {
      {"OscillPanel", {4, 4, 320, 220}},        {"CategoryPanelGroup1", {4, 232, 320, 278}},
      {"SetPanel", {330, 4, 539, 220}},         {"ToolBar1", {332, 232, 440, 54}},
      {"UnlockSetBtn", {778, 232, 91, 27}},     {"TestBtn", {778, 259, 91, 27}},
      {"OutputPanel", {327, 292, 537, 217}},    {"UsetPanel", {8, 7, 257, 81}},
      {"IsetPanel", {271, 7, 257, 81}},         {"UoutPanel", {8, 23, 257, 81}},
      {"TimePanel", {8, 110, 176, 42}},         {"PoutPanel", {356, 110, 172, 42}},
      {"AHPanel", {8, 158, 140, 24}},           {"WHPanel", {8, 182, 140, 24}},
  };
  for (const auto& [name, geometry] : regions) {
    QWidget* region = Find(name);
    ASSERT_NE(region, nullptr) << name;
    EXPECT_EQ(region->geometry(), geometry) << name;
  }
  EXPECT_EQ(Find<QPushButton>("UnlockSetBtn")->text(), "Unlock SET");
  EXPECT_EQ(Find<QPushButton>("TestBtn")->text(), "Auto Test");
  // Only "Connection" is open at start, and the panels stand in their order.
  const char* panels[] = {"ScopePanel", "ComPortPanel", "MemoryPanel", "ParametersPanel"};
  const char* captions[] = {"Oscilloscope", "Connection", "Profile", "Parameters"};
  int lastTop = -1;
  MainForm->show();
  for (int k = 0; k < 4; ++k) {
    auto* panel = Find<TCategoryPanel>(panels[k]);
    ASSERT_NE(panel, nullptr) << panels[k];
    EXPECT_EQ(panel->Caption(), captions[k]);
    EXPECT_EQ(panel->Collapsed(), k != 1) << panels[k];
    EXPECT_GT(panel->y(), lastTop);
    lastTop = panel->y();
  }
}

TEST_F(Startup, FirstRunUsesTheDefaults) {
  TProgramWindows windows;
  EXPECT_EQ(Find<QComboBox>("BaudComboBox")->currentText(), "9600");
  EXPECT_EQ(Find<QComboBox>("BaudComboBox")->count(), 7);
  EXPECT_EQ(Find<QComboBox>("SlaveAddrComboBox")->currentText(), "1");
  EXPECT_EQ(Find<QComboBox>("SlaveAddrComboBox")->count(), 127);
  EXPECT_EQ(Find<QLineEdit>("IpMaskEdit")->text(), "192.168.001.001");
  EXPECT_EQ(MainForm->CLR(0), 0x808080u);
  EXPECT_EQ(MainForm->CLR(1), 0xFFFFFFu);
  EXPECT_EQ(MainForm->CLR(2), 0x00FF00u);
  EXPECT_EQ(MainForm->CLR(3), 0x00FFFFu);
  EXPECT_FALSE(MainForm->fModel.RCNT);
  EXPECT_EQ(MainForm->gData.USET, 10u);
  EXPECT_EQ(MainForm->MBaddr(), 1);
  ASSERT_NE(MainForm->TaskMgr(), nullptr);
  EXPECT_EQ(MainForm->TaskMgr()->Interval(), 5);
  EXPECT_FALSE(MainForm->TaskMgr()->Running());
}

TEST_F(Startup, StoredValuesAreRestoredEachOnItsOwn) {
  RegWriteInteger("CLR2", 0x0000FF);  // CLR1 never stored
  RegWriteInteger("RCNT", 2);         // only 1 switches it on
  RegWriteInteger("UnDown", 2);       // any value above 0 shows the cursor buttons
  RegWriteInteger("BAUDRATE", 6);
  RegWriteInteger("MBADDR", 126);
  RegWriteInteger("TCP", 0x0100007F);
  TProgramWindows windows;
  EXPECT_EQ(MainForm->CLR(1), 0xFFFFFFu);
  EXPECT_EQ(MainForm->CLR(2), 0x0000FFu);
  EXPECT_EQ(MainForm->CLR(3), 0x00FFFFu);
  EXPECT_FALSE(MainForm->fModel.RCNT);
  EXPECT_TRUE(MainForm->CursorButtonsVisible());
  EXPECT_EQ(Find<QComboBox>("BaudComboBox")->currentText(), "115200");
  EXPECT_EQ(Find<QComboBox>("SlaveAddrComboBox")->currentText(), "127");
  EXPECT_EQ(MainForm->TcpIpAddr(), 0x0100007Fu);
  EXPECT_EQ(Find<QLineEdit>("IpMaskEdit")->text(), "127.000.000.001");
}

TEST_F(Startup, StoredIndicesOutsideTheirListsSelectTheDefaults) {
  RegWriteInteger("BAUDRATE", 99);
  RegWriteInteger("MBADDR", -3);
  TProgramWindows windows;
  EXPECT_EQ(Find<QComboBox>("BaudComboBox")->currentText(), "9600");
  EXPECT_EQ(Find<QComboBox>("SlaveAddrComboBox")->currentText(), "1");
}

TEST_F(Startup, ClosingStoresTheWindowsSettings) {
  RegWriteInteger("CLR3", 0x123456);
  {
    TProgramWindows windows;
    MainForm->show();
    Find<QComboBox>("BaudComboBox")->setCurrentIndex(4);
    Find<QComboBox>("SlaveAddrComboBox")->setCurrentIndex(9);
    // Ticked, not saved to a supply: stored as the box shows.
    Find<QCheckBox>("P_ResetCountersCheckBox")->setChecked(true);
    TestForm->show();
    EXPECT_TRUE(MainForm->close());
    EXPECT_FALSE(TestForm->isVisible());  // the auto-test window closes with it
    EXPECT_EQ(MainForm->TaskMgr(), nullptr);
  }
  EXPECT_EQ(RegReadInteger("BAUDRATE"), 4);
  EXPECT_EQ(RegReadInteger("MBADDR"), 9);
  EXPECT_EQ(RegReadInteger("RCNT"), 1);
  EXPECT_EQ(RegReadInteger("CLR1"), 0xFFFFFF);
  EXPECT_EQ(RegReadInteger("CLR2"), 0x00FF00);
  EXPECT_EQ(RegReadInteger("CLR3"), 0x123456);
  EXPECT_TRUE(RegValueExists("UnDown"));
  // A second program start reads back what the first one stored.
  TProgramWindows again;
  EXPECT_EQ(Find<QComboBox>("BaudComboBox")->currentText(), "38400");
  EXPECT_TRUE(MainForm->fModel.RCNT);
}

TEST_F(Startup, ActivatingTheMainWindowHidesTheEntryWindows) {
  TProgramWindows windows;
  MainForm->show();
  EnterForm->show();
  EnterForm2->show();
  QApplication::setActiveWindow(MainForm);
  QEvent activation(QEvent::ActivationChange);
  QApplication::sendEvent(MainForm, &activation);
  EXPECT_FALSE(EnterForm->isVisible());
  EXPECT_FALSE(EnterForm2->isVisible());
}
