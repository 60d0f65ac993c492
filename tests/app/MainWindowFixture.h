#pragma once
// The main window as a user meets it, with a simulated supply behind it whose request trace
// tells what the window sent.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QPushButton>
#include <QTcpServer>
#include <QTest>

#include "core/Dialogs.h"
#include "app/MainUnit.h"
#include "host/SettingsStore.h"
#include "panel/dsLeds.h"
#include "tests/support/SimProcess.h"
#include "tests/support/SimTrace.h"
#include "tests/support/TestEnvironment.h"

namespace kelvora::test {


inline const QString CR = QString(QChar(13));

class MainWindowFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    kelvora::test::ClearSettingsStore();
    SetDialogResponder([this](const TDialogRequest& request) {
      Messages << request.Text;
      return TDialogReply{QMessageBox::Ok, {}, {}};
    });
    static int run = 0;
    TracePath = QDir(kelvora::test::IsolatedRoot()).filePath(QString("trace%1.jsonl").arg(++run));
  }
  void TearDown() override {
    Form.reset();
    SetDialogResponder({});
  }

  void StartSim(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--rtu", "kpx-test", "--tcp", "0", "--trace",
                                  TracePath.toStdString()};
    args.insert(args.end(), extra.begin(), extra.end());
    Sim = std::make_unique<SimProcess>(args);
  }
  // The window as a user meets it, with the simulator's port stored as the last one used.
  void OpenWindow(bool storePort = true) {
    if (storePort) RegWriteString("PORT", QString::fromStdString(Sim->PtyPath()));
    Form = std::make_unique<TMainForm>();
    Form->show();
  }
  template <typename T = QWidget>
  T* Find(const char* name) const {
    T* w = Form->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  void Click(const char* name) { QTest::mouseClick(Find<QPushButton>(name), Qt::LeftButton); }
  bool WaitConnected(int ms = 5000) {
    return QTest::qWaitFor([this] { return Form->Connected(); }, ms);
  }
  std::vector<TraceEntry> Requests() const { return SimTrace(TracePath).Requests(); }
  std::vector<TraceEntry> Polls() const {
    return SimTrace(TracePath).Requests([](const TraceEntry& e) { return IsRead(e, 0, 10); });
  }
  // The digits of a four-digit readout as the panel shows them, leftmost first (10 = blank).
  std::vector<uint32_t> Digits(const QString& prefix) const {
    std::vector<uint32_t> digits;
    for (int n = 4; n >= 1; --n)
      digits.push_back(
          Form->findChild<TdsSevenSegmentDisplay*>(prefix + QString::number(n))->Value());
    return digits;
  }

  // A loopback port that was free a moment ago.
  static uint16_t UnusedTcpPort() {
    QTcpServer server;
    server.listen(QHostAddress::LocalHost, 0);
    return server.serverPort();
  }

  QString TracePath;
  QStringList Messages;
  std::unique_ptr<SimProcess> Sim;
  std::unique_ptr<TMainForm> Form;
};

}  // namespace kelvora::test
