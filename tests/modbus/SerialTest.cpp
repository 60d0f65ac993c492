#include <gtest/gtest.h>

#include <QCoreApplication>

#include <fcntl.h>
#include <sys/resource.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "bench/modbus/ModbusPeers.h"
#include "modbus/KRCOMPortConnector.h"
#include "modbus/KRModbus.h"
#include "tests/modbus/Exchange.h"

namespace {

using Clock = std::chrono::steady_clock;


// Reads ACount registers through the connector and decodes the answer.
int32_t ReadRegisters(TKRConnector& c, uint16_t start, uint16_t count, TKRRegisters& out) {
  TKRBuffer frame{};
  uint16_t rlen = 0;
  const uint8_t len = ReadHoldingRegistersPack(mbtRTU, 1, start, count, frame, rlen);
  Result r;
  SendFrame(c, frame, len, rlen, r);
  if (!Await(r)) return -1000;
  if (r.Error) return 1000 + r.Error;
  TMBPack req;
  req.MBFunc = 3;
  TMBAnswer a;
  const int32_t e = KRCheckAnswer(req, true, r.Answer.data(), int32_t(r.Answer.size()), a);
  out = a.Registers;
  return e;
}

class SerialLink : public ::testing::Test {
 protected:
  TPtyRtuSlave slave;
  TKRCOMPortConnector c;
  std::vector<TKRConnectorStat> seen;
  void SetUp() override {
    for (int i = 0; i < 100; ++i) slave.SetRegister(i, uint16_t(1000 + i));
    c.SetName("COMPortConnector");
    c.SetPort(QString::fromStdString(slave.Path()));
    c.SetBaudRate(9600);
    c.SetWriteTimeout(150);
    c.SetReadTimeout(150);
    c.SetWaitRespTime(250);
  }
  void TearDown() override { c.SetActive(false); }
};

TEST_F(SerialLink, ReadsAndWritesHoldingRegisters) {
  c.SetOnConnectionStatus([&](TKRConnector*, TKRConnectorStat s, uint32_t) { seen.push_back(s); });
  c.SetActive(true);
  ASSERT_TRUE(c.Connected());
  ASSERT_EQ(seen, (std::vector<TKRConnectorStat>{cstDisconnected}));  // direct, before any post
  TKRRegisters regs;
  ASSERT_EQ(ReadRegisters(c, 0, 10, regs), 0);
  ASSERT_EQ(regs.size(), 10u);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(regs[i], 1000 + i);
  EXPECT_EQ(seen, (std::vector<TKRConnectorStat>{cstDisconnected, cstConnected}));

  TKRBuffer frame{};
  uint16_t rlen = 0;
  Result w;
  SendFrame(c, frame, WriteHoldingRegisterPack(mbtRTU, 1, 5, 500, frame, rlen), rlen, w);
  ASSERT_TRUE(Await(w));
  EXPECT_EQ(w.Error, 0);
  EXPECT_EQ(w.Answer.size(), 8u);
  EXPECT_EQ(slave.Register(5), 500);
  Result ws;
  SendFrame(c, frame, WriteHoldingRegistersPack(mbtRTU, 1, 20, {7, 8, 9}, frame, rlen), rlen, ws);
  ASSERT_TRUE(Await(ws));
  EXPECT_EQ(slave.Register(21), 8);
  EXPECT_EQ(c.GetCounter(), 3u);
}

TEST_F(SerialLink, ExceptionAnswerIsHandedOn) {
  c.SetActive(true);
  TKRRegisters regs;
  EXPECT_EQ(ReadRegisters(c, 99, 5, regs), 2);  // beyond the slave's table
}

TEST_F(SerialLink, NoAnswerEndsAfterTheOverallLimit) {
  c.SetWaitRespTime(600);  // longer than the overall limit, as in the program
  c.SetActive(true);
  slave.Mute = true;
  const auto t0 = Clock::now();
  TKRRegisters regs;
  EXPECT_EQ(ReadRegisters(c, 0, 1, regs), 1006);
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(300));
}

TEST_F(SerialLink, LateAnswerDoesNotBecomeTheNextAnswer) {
  c.SetWaitRespTime(600);
  c.SetActive(true);
  slave.DelayMs = 400;
  TKRRegisters regs;
  EXPECT_EQ(ReadRegisters(c, 0, 2, regs), 1006);
  slave.DelayMs = 0;
  // The late answer arrives now; wait until the slave has sent it.
  const auto until = Clock::now() + std::chrono::seconds(3);
  while (slave.Replies < 1 && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  ASSERT_EQ(ReadRegisters(c, 10, 2, regs), 0);
  EXPECT_EQ(regs, (TKRRegisters{1010, 1011}));
}

// With the silence limit as long as the overall limit (as in the program), an unanswered
// request is a time-out every time, not by the luck of which deadline's millisecond comes first.
TEST_F(SerialLink, AnUnansweredRequestIsAlwaysATimeOut) {
  c.SetWaitRespTime(300);  // write + read limits: 150 + 150
  c.SetCountErrorsForReconnect(0);
  c.SetActive(true);
  slave.Mute = true;
  TKRRegisters regs;
  for (int i = 0; i < 6; ++i) EXPECT_EQ(ReadRegisters(c, 0, 1, regs), 1006) << i;
}

// RTU answers carry no transaction number, and the answers to two reads of the same length
// differ only in their values: an answer that comes after its exchange gave up must not be taken
// for the answer to the request queued behind it, however late it is within one more time-out.
class LateAnswer : public SerialLink, public ::testing::WithParamInterface<double> {};

TEST_P(LateAnswer, IsNeverTakenForTheNextOne) {
  c.SetWaitRespTime(600);
  c.SetActive(true);
  slave.DelayMs = int(300 * GetParam());  // the overall limit is 150 + 150
  TKRBuffer first{}, second{};
  uint16_t rlen = 0;
  const uint8_t len1 = ReadHoldingRegistersPack(mbtRTU, 1, 0, 2, first, rlen);
  const uint8_t len2 = ReadHoldingRegistersPack(mbtRTU, 1, 10, 2, second, rlen);
  Result late, next;
  SendFrame(c, first, len1, rlen, late);
  SendFrame(c, second, len2, rlen, next);
  const auto until = Clock::now() + std::chrono::seconds(3);
  while (slave.Requests < 1 && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  slave.DelayMs = 0;  // only the first answer is late
  ASSERT_TRUE(Await(late));
  EXPECT_EQ(late.Error, 6);
  ASSERT_TRUE(Await(next));
  ASSERT_EQ(next.Error, 0);
  TMBPack req;
  req.MBFunc = 3;
  TMBAnswer a;
  ASSERT_EQ(KRCheckAnswer(req, true, next.Answer.data(), int32_t(next.Answer.size()), a), 0);
  EXPECT_EQ(a.Registers, (TKRRegisters{1010, 1011}));
}

INSTANTIATE_TEST_SUITE_P(TimesTheTimeOut, LateAnswer, ::testing::Values(1.1, 1.6, 1.9),
                         [](const auto& info) { return "x" + std::to_string(int(info.param * 10)); });

// A lost answer costs one more response time of quiet line before the next request goes out;
// an answer that came late but whole costs only the silence after it.
TEST_F(SerialLink, TheQuietLineAfterATimeOutEndsWithTheLateAnswer) {
  c.SetWaitRespTime(600);
  c.SetActive(true);
  slave.Mute = true;
  TKRRegisters regs;
  EXPECT_EQ(ReadRegisters(c, 0, 2, regs), 1006);
  slave.Mute = false;
  auto t0 = Clock::now();
  ASSERT_EQ(ReadRegisters(c, 10, 2, regs), 0);
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(250)) << "the line was kept quiet";
  slave.DelayMs = 330;
  EXPECT_EQ(ReadRegisters(c, 0, 2, regs), 1006);
  slave.DelayMs = 0;
  ASSERT_EQ(ReadRegisters(c, 10, 2, regs), 0);
  EXPECT_EQ(regs, (TKRRegisters{1010, 1011}));
}

double ProcessCpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) * 1e-6;
}

// The worker sleeps on its queue and the port: a connected, idle link costs no CPU.
TEST_F(SerialLink, ConnectedIdleLinkUsesNoCpu) {
  c.SetActive(true);
  TKRRegisters regs;
  ASSERT_EQ(ReadRegisters(c, 0, 1, regs), 0);
  const double cpu0 = ProcessCpuSeconds() - slave.ThreadCpuSeconds();
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  const double used = ProcessCpuSeconds() - slave.ThreadCpuSeconds() - cpu0;
  EXPECT_LT(used, 0.02);
}

TEST_F(SerialLink, OpenPortIsBusyForEveryoneElse) {
  c.SetActive(true);
  ASSERT_TRUE(c.Connected());
  TKRCOMPort second;
  second.SetPort(c.Port());
  EXPECT_FALSE(second.Open());
  EXPECT_EQ(second.LastError(), 1);
  EXPECT_EQ(second.Handle(), -1);

  // Another program that locks the port the same way (root or not: the lock is advisory).
  const std::string path = slave.Path();
  const TKRSerialSettings settings;
  const pid_t child = fork();
  if (child == 0) {
    TKRSerialDevice d;
    _exit(d.Open(path, settings));
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(WEXITSTATUS(status), sorOpenFailed);

  c.SetActive(false);
  EXPECT_TRUE(second.Open());
}

// The firmware updater reopens the borrowed port for the bootloader: 38400 baud, even parity.
TEST_F(SerialLink, BootloaderSettingsOpenOnAPseudoTerminal) {
  TKRCOMPort* port = c.ComPort();
  port->SetBaudRate(38400);
  port->SetParity(2);
  ASSERT_TRUE(port->Open()) << port->LastError();
  EXPECT_TRUE(port->Open());  // already open
  EXPECT_EQ(port->InputCount(), 0);
  port->Close();
  port->SetBaudRate(9600);
  port->SetParity(0);
  c.SetActive(true);
  TKRRegisters regs;
  EXPECT_EQ(ReadRegisters(c, 0, 1, regs), 0);
}

TEST(SerialPort, RefusedSettingsAndMissingPorts) {
  TPtyRtuSlave slave;
  TKRCOMPort port;
  port.SetPort("/dev/kelvora-no-such-port");
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.LastError(), 1);
  EXPECT_EQ(port.Handle(), -1);
  EXPECT_FALSE(port.Connected());

  port.SetPort(QString::fromStdString(slave.Path()));
  port.SetParity(3);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.LastError(), 3);
  port.SetParity(0);
  port.SetStopBits(1);
  EXPECT_FALSE(port.Open());
  EXPECT_EQ(port.LastError(), 3);
  port.SetStopBits(2);
  port.SetDataBits(7);
  EXPECT_TRUE(port.Open());
  EXPECT_EQ(port.LastError(), 0);
  EXPECT_NE(port.Handle(), -1);
}

TEST(SerialPort, FlowControlIsReadFromFourFields) {
  TKRCOMPort port;
  EXPECT_EQ(port.FlowControl(), 0);
  port.SetFlowControl(1);
  EXPECT_EQ(port.FlowControl(), 1);
  EXPECT_EQ(port.ControlRTS(), 2u);
  EXPECT_TRUE(port.OutCTSFlow());
  port.SetFlowControl(2);
  EXPECT_EQ(port.FlowControl(), 2);
  EXPECT_FALSE(port.OutCTSFlow());
  port.SetFlowControl(3);
  EXPECT_EQ(port.FlowControl(), 2);
  port.SetFlowControl(0);
  port.SetOutDSRFlow(true);
  EXPECT_EQ(port.FlowControl(), 0);
  port.SetControlRTS(1);
  EXPECT_EQ(port.FlowControl(), 3);
}

// A pseudo-terminal played by the test itself, byte by byte.
class RawPty : public ::testing::Test {
 protected:
  int master = -1;
  TKRCOMPortConnector c;
  void SetUp() override {
    master = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_GE(master, 0);
    grantpt(master);
    unlockpt(master);
    c.SetPort(ptsname(master));
    c.SetBaudRate(9600);
    c.SetWriteTimeout(100);
    c.SetReadTimeout(400);
    c.SetWaitRespTime(150);
    c.SetActive(true);
    ASSERT_TRUE(c.Connected());
  }
  std::thread peer;
  void TearDown() override {
    if (peer.joinable()) peer.join();
    c.SetActive(false);
    if (master >= 0) close(master);
  }
  void Reply(std::vector<std::vector<uint8_t>> chunks, int gapMs) {
    peer = std::thread([this, chunks, gapMs] {
      uint8_t req[64];
      pollfd p{master, POLLIN, 0};
      poll(&p, 1, 1000);
      (void)!read(master, req, sizeof req);
      for (const auto& ch : chunks) {
        (void)!write(master, ch.data(), ch.size());
        std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
      }
    });
  }
};

TEST_F(RawPty, ChunksWithinTheSilenceLimitMakeOneAnswer) {
  const TKRBuffer frame{1, 2, 3};
  Result r;
  Reply({{1, 2, 3}, {4, 5}}, 20);
  SendFrame(c, frame, 3, 0, r);  // open length: ends after the silence
  ASSERT_TRUE(Await(r));
  EXPECT_EQ(r.Error, 0);
  EXPECT_EQ(r.Answer, (std::vector<uint8_t>{1, 2, 3, 4, 5}));
}

TEST_F(RawPty, DelimiterEndsAnAnswerEarly) {
  c.SetReadTimeout(2000);
  c.SetWaitRespTime(2000);
  const TKRBuffer frame{':'};
  Result r;
  Reply({{':', '0', '1', 0x0D, 0x0A}}, 0);
  const auto t0 = Clock::now();
  SendFrame(c, frame, 1, 100, r, 0x0D0A, 2);
  ASSERT_TRUE(Await(r));
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000));
  EXPECT_EQ(r.Answer.size(), 5u);
}

TEST_F(RawPty, SilenceBeforeTheLimitIsCodeFour) {
  c.SetWaitRespTime(20);
  Result r;
  SendFrame(c, TKRBuffer{1}, 1, 7, r);
  ASSERT_TRUE(Await(r));
  EXPECT_EQ(r.Error, 4);
}

TEST_F(RawPty, SeventhFailedWriteClosesThePort) {
  c.SetCountErrorsForReconnect(0);
  close(master);  // the line is gone: every write fails
  master = -1;
  for (int i = 1; i <= 7; ++i) {
    Result r;
    SendFrame(c, TKRBuffer{1, 2}, 2, 4, r);
    ASSERT_TRUE(Await(r));
    EXPECT_EQ(r.Error, 3) << i;
    EXPECT_EQ(c.Connected(), i < 7) << i;
  }
  Result r;
  SendFrame(c, TKRBuffer{1, 2}, 2, 4, r);
  ASSERT_TRUE(Await(r));
  EXPECT_EQ(r.Error, 2);  // closed, next attempt only after ReconnectTime
}

}  // namespace
