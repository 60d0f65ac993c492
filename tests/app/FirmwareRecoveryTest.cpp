// A supply left in its bootloader never connects: the window still flashes it, from the port
// list, without a connection. The simulator's flash image is the oracle.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

#include "advanced/AdvancedUnit.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "core/Dialogs.h"
#include "host/PortDiscovery.h"
#include "host/SettingsStore.h"
#include "tests/sim/SimTools.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestEnvironment.h"

using namespace kelvora::test;

TEST(FirmwareRecovery, ASupplyWaitingInItsBootloaderIsFlashedFromTheWindowWhileDisconnected) {
  ClearSettingsStore();
  const QDir root(IsolatedRoot());
  const QString image = root.filePath("recovery.bin");
  const QString flashOut = root.filePath("recovery-flash.bin");
  QByteArray bytes(3000, '\0');
  for (int i = 0; i < bytes.size(); ++i) bytes[i] = char((i * 37 + 11) & 0xFF);
  {
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
  }
  SimProcess sim({"--rtu", "kpx-recovery", "--flash-out", flashOut.toStdString()});
  // An update that stopped half-way left the supply in its bootloader.
  {
    ModbusClient jump = ModbusClient::Rtu(sim.PtyPath());
    jump.SetTimeoutMs(100);
    EXPECT_FALSE(jump.Write(32, uint16_t{9148})) << "the jump is not answered";
  }
  QStringList asked;
  SetDialogResponder([&](const TDialogRequest& request) {
    asked << request.Text;
    if (request.DialogType == TDialogRequest::Type::OpenFile) return TDialogReply{QMessageBox::Ok, image, {}};
    return TDialogReply{QMessageBox::Ok, {}, {}};
  });
  RegWriteString("PORT", QString::fromStdString(sim.PtyPath()));
  TProgramWindows windows;
  MainForm->show();
  ASSERT_EQ(PortNameOf(MainForm->findChild<QComboBox*>("ComPortComboBox")->currentText()),
            QString::fromStdString(sim.PtyPath()));
  auto* open = MainForm->findChild<QPushButton*>("UpdateFirmwareBtn");
  ASSERT_NE(open, nullptr);
  ASSERT_TRUE(open->isEnabled()) << "offered while disconnected";

  const auto TabsShown = [] {
    std::vector<bool> shown;
    auto* tabs = AdvancedForm->findChild<QTabWidget*>("PageControl1");
    for (int i = 0; i < tabs->count(); ++i) shown.push_back(tabs->isTabVisible(i));
    return shown;
  };
  const std::vector<bool> tabsBefore = TabsShown();

  // The advanced window is modal: the user's part runs inside it.
  bool onlyUpdateTab = false, finished = false;
  QString log;
  QTimer::singleShot(0, [&] {
    auto* tabs = AdvancedForm->findChild<QTabWidget*>("PageControl1");
    onlyUpdateTab = tabs->currentWidget() == AdvancedForm->ColorTab();
    for (int i = 0; i < tabs->count(); ++i)
      if (tabs->widget(i) != AdvancedForm->ColorTab()) onlyUpdateTab &= !tabs->isTabVisible(i);
    TFirmwareUpdate& update = AdvancedForm->FirmwareUpdate();
    QTest::mouseClick(update.OpenFileBtn(), Qt::LeftButton);
    QTest::mouseClick(update.StartUpdateBtn(), Qt::LeftButton);
    finished = QTest::qWaitFor([&] { return update.Busy(); }, 2000) &&
               QTest::qWaitFor([&] { return !update.Busy(); }, 30000);
    log = update.Memo1()->toPlainText();
    AdvancedForm->reject();
  });
  QTest::mouseClick(open, Qt::LeftButton);
  EXPECT_TRUE(onlyUpdateTab);
  ASSERT_TRUE(finished) << log.toStdString();
  QFile flash(flashOut);
  ASSERT_TRUE(flash.open(QIODevice::ReadOnly)) << log.toStdString();
  EXPECT_EQ(flash.read(bytes.size()), bytes) << log.toStdString();
  EXPECT_FALSE(MainForm->Connected());
  EXPECT_EQ(TabsShown(), tabsBefore) << "the other tabs come back as they were";
  MainForm->close();
  SetDialogResponder({});
}
