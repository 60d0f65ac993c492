// Faults and wire timing of kpx-sim as a client sees them.

#include <gtest/gtest.h>

#include <cerrno>
#include <filesystem>
#include <thread>

#include <QCoreApplication>

#include "modbus/KRModbusMaster.h"
#include "modbus/KRTCPConnector.h"
#include "tests/sim/SimTools.h"
#include "tests/support/SimProcess.h"

namespace kelvora::test {
namespace {

using std::chrono::milliseconds;

// The simulator's clock starts before it reports READY, so `ms` after READY it is at least as
// far into its run.
void SleepUntilSimMs(const std::chrono::steady_clock::time_point& ready, int ms) {
  std::this_thread::sleep_until(ready + milliseconds(ms));
}

TEST(SimFaults, DropEveryNthAnswerOnBothLinks) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--tcp", "0", "--fault", "drop-every=2", "--trace", dir / "t.jsonl"});
  auto rtu = ModbusClient::Rtu(sim.PtyPath());
  auto tcp = ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort());
  // Answers are counted across both links: 1 ok, 2 lost, 3 ok, 4 lost.
  EXPECT_TRUE(rtu.Read(0, 2));
  tcp.SetTimeoutMs(150);
  EXPECT_FALSE(tcp.Read(0, 2));
  EXPECT_EQ(tcp.LastError(), ETIMEDOUT);
  tcp.SetTimeoutMs(ModbusClient::kPatientMs);
  EXPECT_TRUE(tcp.Read(0, 2));
  rtu.SetTimeoutMs(150);
  EXPECT_FALSE(rtu.Read(0, 2));
  EXPECT_EQ(rtu.LastError(), ETIMEDOUT);
  sim.Stop();
  int dropped = 0;
  for (const auto& line : ReadLines(dir / "t.jsonl")) dropped += line.find("\"dropped\":true") != std::string::npos;
  EXPECT_EQ(dropped, 2);
}

TEST(SimFaults, CorruptedAnswersAreRefusedByTheClient) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--tcp", "0", "--fault", "corrupt-every=1"});
  auto rtu = ModbusClient::Rtu(sim.PtyPath());
  EXPECT_FALSE(rtu.Read(0, 10));
  EXPECT_EQ(rtu.LastError(), EMBBADCRC);
  auto tcp = ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort());
  tcp.SetTimeoutMs(300);
  EXPECT_FALSE(tcp.Read(0, 10));

  // Over TCP the damage is to the function code, which the program's own master checks (a
  // transaction number it would not).
  TKRTCPConnector connector;
  connector.SetIP(QString::fromStdString(sim.TcpAddress()));
  connector.SetPort(sim.TcpPort());
  TKRModbusMaster master;
  master.SetConnector(&connector);
  master.SetActive(true);
  ASSERT_TRUE(connector.Connected());
  for (int i = 0; i < 3; ++i) {
    int32_t error = -999;
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 10, [&](int32_t e, void*) { error = e; });
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    while (error == -999 && std::chrono::steady_clock::now() < until)
      QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    EXPECT_EQ(error, -5) << "Неверный номер функции., answer " << i;
  }
  master.SetActive(false);
}

TEST(SimFaults, DelayHoldsEachAnswerBack) {
  TempFolder dir;
  SimProcess sim({"--tcp", "0", "--fault", "delay-ms=120"});
  auto tcp = ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort());
  const double ms = TimedMs([&] { EXPECT_TRUE(tcp.Read(0, 10)); });
  EXPECT_GE(ms, 115);
  EXPECT_LT(ms, 1000);
}

TEST(SimFaults, WindowsSwitchFaultsInAndOut) {
  TempFolder dir;
  SimProcess sim({"--tcp", "0", "--fault", "drop-every=1@0-300", "--fault", "unlock@700",
                  "--fault", "protect=10@0-300"});
  const auto started = std::chrono::steady_clock::now();
  auto tcp = ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort());
  tcp.SetTimeoutMs(100);
  EXPECT_FALSE(tcp.Read(7, 1)) << "every answer is lost at first";
  tcp.SetTimeoutMs(ModbusClient::kPatientMs);
  SleepUntilSimMs(started, 360);
  const auto protect = tcp.Read(7, 3);
  ASSERT_TRUE(protect);
  EXPECT_EQ((*protect)[0], 10) << "tripped with the code";
  EXPECT_EQ((*protect)[2], 0) << "output off";
  EXPECT_TRUE(tcp.Write(6, 1));
  EXPECT_TRUE(tcp.Write(9, 1));
  const auto on = tcp.Read(6, 4);
  ASSERT_TRUE(on);
  EXPECT_EQ((*on)[0], 1) << "locked by the client";
  EXPECT_EQ((*on)[1], 0) << "switching on cleared the protection";
  EXPECT_EQ((*on)[3], 1);
  SleepUntilSimMs(started, 800);
  const auto lock = tcp.Read(6, 1);
  ASSERT_TRUE(lock);
  EXPECT_EQ((*lock)[0], 0) << "somebody pressed the lock key";
}

// A test that must first connect starts the faults when it is ready, however slow the machine.
TEST(SimFaults, AClockOnSignalHoldsTheFaultsUntilTheyAreStarted) {
  SimProcess sim({"--tcp", "0", "--fault-clock", "signal", "--fault", "drop-every=1@0-60000"});
  auto tcp = ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort());
  tcp.SetTimeoutMs(ModbusClient::kPatientMs);
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(tcp.Read(0, 1)) << "no fault acts before the signal";
  sim.StartFaults();
  tcp.SetTimeoutMs(200);
  bool lost = false;
  for (int i = 0; i < 50 && !lost; ++i) lost = !tcp.Read(0, 1);
  EXPECT_TRUE(lost) << "the window opens at the signal";
}

TEST(SimFaults, HeldProtectionKeepsTheOutputOff) {
  SimProcess sim({"--tcp", "0", "--fault", "protect=2@0-5000"});
  auto tcp = ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort());
  EXPECT_TRUE(tcp.Write(9, 1));
  const auto regs = tcp.Read(7, 3);
  ASSERT_TRUE(regs);
  EXPECT_EQ((*regs)[0], 2);
  EXPECT_EQ((*regs)[2], 0);
}

TEST(SimFaults, VanishUnplugsThePortAndItsLinkUntilTheWindowEnds) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--tcp", "0", "--fault", "vanish@250-600"});
  const auto started = std::chrono::steady_clock::now();
  std::error_code ec;
  const std::string link = sim.PtyPath();
  {
    auto client = ModbusClient::Rtu(link);
    EXPECT_TRUE(client.Read(0, 1));
    SleepUntilSimMs(started, 400);
    EXPECT_FALSE(std::filesystem::is_symlink(link, ec));
    EXPECT_FALSE(client.Read(0, 1)) << "the open port is dead";
    EXPECT_FALSE(ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort()).Connected()) << "the bridge is gone too";
  }
  SleepUntilSimMs(started, 750);
  ASSERT_TRUE(std::filesystem::is_symlink(link, ec)) << "plugged in again";
  EXPECT_TRUE(ModbusClient::Rtu(link).Read(0, 1));
  EXPECT_TRUE(ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort()).Read(0, 1)) << "on the same port";
  EXPECT_TRUE(sim.Running());
}

TEST(SimWireTime, BaudRateSetsHowLongAnExchangeTakes) {
  TempFolder dir;
  SimProcess fast({"--rtu", dir / "fast"});
  SimProcess slow({"--rtu", dir / "slow", "--baud", "2400"});
  auto f = ModbusClient::Rtu(fast.PtyPath());
  auto s = ModbusClient::Rtu(slow.PtyPath());
  f.Read(0, 1);
  s.Read(0, 1);
  const double fastMs = TimedMs([&] { EXPECT_TRUE(f.Read(0, 10)); });
  // 8 request bytes and 25 answer bytes, 10 bits each at 2400 baud: 137.5 ms.
  const double slowMs = TimedMs([&] { EXPECT_TRUE(s.Read(0, 10)); });
  EXPECT_GE(slowMs, 135);
  EXPECT_LT(slowMs, 1000);
  EXPECT_LT(fastMs + 80, slowMs);
}

TEST(SimWireTime, BootloaderLineHasItsOwnRate) {
  TempFolder dir;
  SimProcess sim({"--rtu", dir / "pty", "--baud", "115200", "--boot-baud", "1200"});
  {
    auto client = ModbusClient::Rtu(sim.PtyPath());
    client.SetTimeoutMs(100);
    EXPECT_FALSE(client.Write(32, 9148));
  }
  RawPort port(sim.PtyPath());
  ASSERT_TRUE(port.Write({0x7F}));
  ASSERT_EQ(port.Read(1), std::vector<uint8_t>{0x79});
  // Get: 2 bytes out, 13 back, 11 bits each at 1200 baud: 137.5 ms.
  std::vector<uint8_t> answer;
  const double ms = TimedMs([&] {
    port.Write({0x00, 0xFF});
    answer = port.Read(13);
  });
  ASSERT_EQ(answer.size(), 13u);
  EXPECT_EQ(answer[9], 0x44);
  EXPECT_GE(ms, 135);
  EXPECT_LT(ms, 1000);
}

TEST(SimJump, OverTcpTheCommandIsNotAnsweredAndChangesNothing) {
  SimProcess sim({"--tcp", "0"});
  auto tcp = ModbusClient::Tcp(sim.TcpAddress(), sim.TcpPort());
  tcp.SetTimeoutMs(150);
  EXPECT_FALSE(tcp.Write(32, 9148));
  EXPECT_EQ(tcp.LastError(), ETIMEDOUT);
  tcp.SetTimeoutMs(ModbusClient::kPatientMs);
  EXPECT_TRUE(tcp.Read(0, 15));
}

}  // namespace
}  // namespace kelvora::test
