// The Connection panel against a simulated supply on a pseudo-terminal and on loopback TCP,
// checked through what the simulator was asked.
#include <QFile>
#include <QLineEdit>

#include "app/ActivityIndicator.h"
#include "app/ToggleSwitch.h"
#include "host/PortDiscovery.h"
#include "modbus/KRCOMPort.h"
#include "modbus/KRTCPConnector.h"
#include "tests/app/MainWindowFixture.h"

using namespace kelvora::test;

namespace {
class Connection : public MainWindowFixture {};
}  // namespace


TEST_F(Connection, SerialHandshakeLocksKeysReadsInPriorityOrderThenPolls) {
  StartSim({"--model", "5005", "--firmware", "43", "--pver", "43"});
  OpenWindow();
  EXPECT_EQ(PortNameOf(Find<QComboBox>("ComPortComboBox")->currentText()),
            QString::fromStdString(Sim->PtyPath()));
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  ASSERT_TRUE(QTest::qWaitFor([this] { return Polls().size() >= 5; }, 5000));

  const std::vector<TraceEntry> r = Requests();
  ASSERT_GE(r.size(), 6u);
  EXPECT_TRUE(IsRead(r[0], 0, 15));
  EXPECT_TRUE(IsWrite(r[1], 6, 1)) << "keys are locked when the supply reports them unlocked";
  EXPECT_TRUE(IsRead(r[2], 33, 7)) << "counters and preset number first";
  EXPECT_TRUE(IsRead(r[3], 16, 15)) << "then the global block";
  EXPECT_TRUE(IsRead(r[4], 80 + 16 * int(Form->gData.MEM), 9)) << "then the active preset";
  for (size_t i = 5; i < r.size(); ++i) EXPECT_TRUE(IsRead(r[i], 0, 10)) << "poll " << i;

  // Each poll follows the previous answer after the scheduler's short gap.
  std::vector<double> gaps;
  const std::vector<TraceEntry> all = SimTrace(TracePath).Entries();
  for (size_t i = 1; i < all.size(); ++i)
    if (all[i].Dir == "req" && all[i - 1].Dir == "ans" && IsRead(all[i], 0, 10))
      gaps.push_back(all[i].T - all[i - 1].T);
  ASSERT_GE(gaps.size(), 3u);
  std::sort(gaps.begin(), gaps.end());
  EXPECT_GE(gaps[gaps.size() / 2], 4.0);
  EXPECT_LT(gaps[gaps.size() / 2], 40.0);

  // Readouts show the supply's values with the model's decimals (5005: 10 mA … 1 mA units).
  EXPECT_EQ(Form->windowTitle(), "KPX5005 ver. 4.3");
  const uint32_t uset = Form->gData.USET;
  EXPECT_EQ(Digits("SegUset"),
            (std::vector<uint32_t>{uset >= 1000 ? uset / 1000 : 10, uset / 100 % 10,
                                   uset / 10 % 10, uset % 10}));
  EXPECT_TRUE(Find<TdsLed>("OnlineLed")->LedOn());
  EXPECT_EQ(RegReadString("PORT"), QString::fromStdString(Sim->PtyPath()));
  EXPECT_TRUE(Messages.isEmpty()) << Messages.join("\n").toStdString();
}

TEST_F(Connection, DisconnectUnlocksTheKeysBeforeThePortCloses) {
  StartSim();
  OpenWindow();
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  Click("DisconnectBtn");
  EXPECT_FALSE(Form->Connected());
  ASSERT_TRUE(QTest::qWaitFor(
      [this] {
        const auto r = Requests();
        return !r.empty() && IsWrite(r.back(), 6, 0);
      },
      2000));
  EXPECT_TRUE(Find<QPushButton>("ConnectBtn")->isEnabled());
  EXPECT_FALSE(Find<QPushButton>("DisconnectBtn")->isEnabled());
  EXPECT_EQ(Form->windowTitle(), "Kelvora");
}

TEST_F(Connection, OverTcpTheSameHandshakeRuns) {
  StartSim({"--firmware", "36"});
  OpenWindow(false);
  auto* ports = Find<QComboBox>("ComPortComboBox");
  ports->setCurrentIndex(0);
  Find<QLineEdit>("IpMaskEdit")->setText("127.000.000.001");
  Form->TCPConnector()->SetPort(Sim->TcpPort());
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  ASSERT_TRUE(QTest::qWaitFor([this] { return Polls().size() >= 2; }, 5000));
  const auto r = Requests();
  EXPECT_TRUE(IsRead(r[0], 0, 15));
  EXPECT_TRUE(IsRead(r[2], 35, 1)) << "version 36 reads only the preset number";
  EXPECT_TRUE(IsRead(r[3], 16, 15));
  EXPECT_EQ(RegReadString("PORT"), "TCP");
  EXPECT_EQ(static_cast<uint32_t>(RegReadInteger("TCP")), 0x0100007Fu);
}

TEST_F(Connection, ThreeLostAnswersEndTheConnectionAndAutoConnectBringsItBackWhileTheBoxIsOpen) {
  // Every answer is lost for 3.5 s, from when the window is connected.
  StartSim({"--fault-clock", "signal", "--fault", "drop-every=1@0-3500"});
  // Nobody reads the box: it stays open until the supply is back and polled again.
  int boxesOpen = 0, mostOpen = 0;
  bool disconnectedUnderTheBox = false, backUnderTheBox = false;
  SetDialogResponder([&](const TDialogRequest& request) {
    Messages << request.Text;
    if (request.Text != "Connection lost !!!") return TDialogReply{QMessageBox::Ok, {}, {}};
    mostOpen = std::max(mostOpen, ++boxesOpen);
    disconnectedUnderTheBox = !Form->Connected();
    const size_t polls = Polls().size();
    backUnderTheBox = QTest::qWaitFor(
        [&] { return Form->Connected() && Polls().size() >= polls + 3; }, 10000);
    --boxesOpen;
    return TDialogReply{QMessageBox::Ok, {}, {}};
  });
  OpenWindow();
  Find<TToggleSwitch>("AutoConnectSwitch")->SetOn(true);
  ASSERT_TRUE(WaitConnected(10000)) << "auto-connect reaches the stored port";
  Sim->StartFaults();
  ASSERT_TRUE(QTest::qWaitFor([this] { return Messages.contains("Connection lost !!!"); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return boxesOpen == 0; }, 12000));
  EXPECT_TRUE(disconnectedUnderTheBox) << "the disconnect does not wait for the box";
  EXPECT_TRUE(backUnderTheBox) << "reconnected and polled while the box was still open";
  EXPECT_EQ(mostOpen, 1) << "one box at a time";
  EXPECT_TRUE(Form->Connected());
}

TEST_F(Connection, KeysUnlockedAtTheSupplyEndTheConnection) {
  StartSim({"--fault-clock", "signal", "--fault", "unlock"});
  OpenWindow();
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  Sim->StartFaults();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->Connected(); }, 5000));
  EXPECT_TRUE(Messages.contains("Connection lost !!!"));
}

TEST_F(Connection, RemovingTheConnectedPortDisconnectsAnotherOnlyRefreshesTheList) {
  StartSim({"--fault-clock", "signal", "--fault", "vanish"});
  OpenWindow();
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  // Another port comes and goes: the list follows, the connection stays.
  const QString other = QDir(qEnvironmentVariable("KELVORA_PORTS_DIR")).filePath("other");
  ASSERT_TRUE(QFile::link(QString::fromStdString(Sim->PtyPath()), other));
  auto* ports = Find<QComboBox>("ComPortComboBox");
  Find<TToggleSwitch>("AutoConnectSwitch")->SetOn(true);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ports->findText(other) >= 0; }, 3000));
  // The refreshed list leaves the live session's settings locked and nothing starts connecting.
  for (const char* name : {"ComPortComboBox", "BaudComboBox", "SlaveAddrComboBox", "IpMaskEdit"})
    EXPECT_FALSE(Find(name)->isEnabled()) << name;
  EXPECT_FALSE(Find<TActivityIndicator>("ConnectingIndicator")->Animate());
  QFile::remove(other);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ports->findText(other) < 0; }, 3000));
  EXPECT_TRUE(Form->Connected());
  // The simulator's own port vanishes, as an unplugged cable.
  Sim->StartFaults();
  EXPECT_TRUE(QTest::qWaitFor([this] { return !Form->Connected(); }, 5000));
}

TEST_F(Connection, WrongOrUnreachableTcpAddressesAreExplained) {
  OpenWindow(false);
  auto* ports = Find<QComboBox>("ComPortComboBox");
  auto* address = Find<QLineEdit>("IpMaskEdit");
  ports->setCurrentIndex(0);
  for (const char* text : {"000.000.000.000", "300.001.001.001"}) {
    Messages.clear();
    address->setText(text);
    Click("ConnectBtn");
    ASSERT_EQ(Messages.size(), 1);
    EXPECT_EQ(Messages[0], "Wrong address " + address->text() + CR + "Please check  the TCP IP address.");
    EXPECT_TRUE(Find<QPushButton>("ConnectBtn")->isEnabled());
  }
  // Nothing listens on this port of the loopback address.
  Messages.clear();
  address->setText("127.000.000.001");
  Form->TCPConnector()->SetPort(UnusedTcpPort());
  Click("ConnectBtn");
  ASSERT_EQ(Messages.size(), 1);
  EXPECT_EQ(Messages[0],
            "The TCP server at 127.0.0.1 does not replay!" + CR + "Please check  the TCP IP address.");
  EXPECT_FALSE(Form->Connected());
}

TEST_F(Connection, APortHeldByAnotherProgramIsReportedBusy) {
  StartSim();
  OpenWindow();
  TKRCOMPort holder;  // another program with the port open
  holder.SetPort(QString::fromStdString(Sim->PtyPath()));
  ASSERT_TRUE(holder.Open());
  Click("ConnectBtn");
  ASSERT_EQ(Messages.size(), 1);
  EXPECT_EQ(Messages[0], "The " + QString::fromStdString(Sim->PtyPath()) +
                             " port is closed or busy!" + CR +
                             "Please check  the port and close other application using this port.");
  EXPECT_FALSE(Find<TToggleSwitch>("AutoConnectSwitch")->On());
  EXPECT_TRUE(Find<QPushButton>("ConnectBtn")->isEnabled());
  holder.Close();
  Messages.clear();
  Click("ConnectBtn");
  EXPECT_TRUE(WaitConnected()) << "the port is free again";
}

TEST_F(Connection, AModelOutsideTheTableIsNamedOnceAndNotDriven) {
  StartSim({"--model", "1234"});
  OpenWindow();
  Find<TToggleSwitch>("AutoConnectSwitch")->SetOn(true);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Messages.isEmpty(); }, 3000));
  EXPECT_TRUE(Messages[0].contains("model number 1234")) << Messages[0].toStdString();
  EXPECT_FALSE(Form->Connected());
  // Automatic attempts go on without repeating the box, and nothing but the connect read is sent.
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return SimTrace(TracePath).Requests([](const TraceEntry& e) { return IsRead(e, 0, 15); }).size() >= 2; },
      6000));
  EXPECT_EQ(Messages.size(), 1);
  for (const TraceEntry& e : Requests()) EXPECT_TRUE(IsRead(e, 0, 15));
}

TEST_F(Connection, AStoredAutoConnectWaitsForItsPortAndIsKept) {
  // The supply is plugged in after the program started.
  const QString port = QDir(qEnvironmentVariable("KELVORA_PORTS_DIR")).filePath("kpx-late");
  RegWriteString("PORT", port);
  RegWriteInteger("Autoconnect", 1);
  OpenWindow(false);
  auto* autoConnect = Find<TToggleSwitch>("AutoConnectSwitch");
  EXPECT_FALSE(autoConnect->isEnabled()) << "no stored port to connect to yet";
  StartSim({"--rtu", "kpx-late"});
  ASSERT_EQ(QString::fromStdString(Sim->PtyPath()), port);
  EXPECT_TRUE(WaitConnected(5000)) << "the stored wish applies when the port arrives";
  EXPECT_TRUE(autoConnect->On());
  Form->close();
  EXPECT_EQ(RegReadInteger("Autoconnect"), 1);

  // Not arrived at all during a run: the wish is not overwritten either.
  Sim.reset();
  Form.reset();
  OpenWindow(false);
  Form->close();
  EXPECT_EQ(RegReadInteger("Autoconnect"), 1);
}

TEST_F(Connection, OnlyTheFirstCounterReadTakesTheWholeVersionRegister) {
  // Version number 32 with the top bits set: no global block, though the register reads 4128.
  StartSim({"--firmware", "0x1020"});
  OpenWindow();
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  ASSERT_TRUE(QTest::qWaitFor([this] { return Polls().size() >= 3; }, 5000));
  const auto r = Requests();
  EXPECT_TRUE(IsRead(r[2], 33, 7)) << "the first counter read compares the whole register";
  for (const TraceEntry& e : r) EXPECT_FALSE(IsRead(e, 16, 15)) << "global block read";
  EXPECT_EQ(Form->windowTitle(), "KPX5005 ver. 3.2");
}

TEST_F(Connection, TheAddressFieldAcceptsEveryValidSpellingAndRefusesBadOctets) {
  RegWriteString("PORT", "TCP");
  OpenWindow(false);
  auto* address = Find<QLineEdit>("IpMaskEdit");
  ASSERT_TRUE(address->isEnabled());
  const auto leave = [&](const char* typed) {
    Messages.clear();
    address->clear();
    address->setFocus();
    address->setCursorPosition(0);
    QTest::keyClicks(address, typed);
    QTest::keyClick(address, Qt::Key_Return);
  };
  for (const char* valid : {"127.0.0.37", "10.0.0.5", "192.168.1.100", "192.168.001.001"}) {
    leave(valid);
    EXPECT_TRUE(Messages.isEmpty()) << valid << ": " << Messages.join(" | ").toStdString();
  }
  leave("192.300.1.1");
  EXPECT_EQ(Messages, QStringList{"Not a valid IP address."});
}

TEST_F(Connection, ATcpBridgeOutageSaysSoOnceKeepsAutoConnectAndReconnects) {
  // The bridge is gone from 5 s to 12 s after the simulator started: the lost answers take
  // about three of them, and the automatic attempts meet no server for the rest.
  StartSim({"--fault", "vanish@5000-12000"});
  RegWriteString("PORT", "TCP");
  RegWriteInteger("TCP", 0x0100007F);
  OpenWindow(false);
  Form->TCPConnector()->SetPort(Sim->TcpPort());
  auto* autoConnect = Find<TToggleSwitch>("AutoConnectSwitch");
  autoConnect->SetOn(true);
  ASSERT_TRUE(WaitConnected(3000));
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Polls().empty(); }, 2000));
  ASSERT_LT(Polls().front().T, 5000) << "connected before the outage";
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->Connected(); }, 10000)) << "the link is lost";
  const auto refused = [this] { return Messages.filter("does not replay!").size(); };
  EXPECT_TRUE(QTest::qWaitFor([&] { return refused() > 0; }, 6000)) << "an attempt met no server";
  EXPECT_TRUE(autoConnect->On()) << "kept through the failed attempts";
  ASSERT_TRUE(QTest::qWaitFor(
      [this] {
        const auto polls = Polls();
        return Form->Connected() && !polls.empty() && polls.back().T > 12000;
      },
      12000))
      << "reconnected once the server answers again";
  EXPECT_EQ(refused(), 1) << Messages.join(" | ").toStdString();
  EXPECT_TRUE(autoConnect->On());
}
