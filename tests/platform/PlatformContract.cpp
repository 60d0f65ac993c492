// The contract every platform's serial and socket layer keeps, against kpx-sim. The same source
// builds for Linux (in the suite) and for Windows (under Wine, scripts/test-windows); run-contract
// starts the peers and names them in the environment:
//   KELVORA_CONTRACT_PORT           the simulator's serial port
//   KELVORA_CONTRACT_VANISHING_PORT a second simulator's port, which goes away a few seconds in
//   KELVORA_CONTRACT_MISSING_PORT   a port name nothing answers to
//   KELVORA_CONTRACT_TCP_PORT       the simulator's Modbus TCP port on 127.0.0.1
//   KELVORA_CONTRACT_CLOSED_PORT    a loopback TCP port nobody listens on
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "modbus/KRCRC.h"
#include "modbus/platform/SerialDevice.h"
#include "modbus/platform/SocketApi.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;
using std::chrono::milliseconds;

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

TKRSerialSettings Line9600() {
  TKRSerialSettings s;
  s.BaudRate = 9600;
  return s;
}

// Read one holding register at 0 from slave 1, framed for RTU.
Bytes RtuRead() {
  Bytes f{1, 3, 0, 0, 0, 1};
  const uint16_t crc = KRCRC16(f.data(), int32_t(f.size()));
  f.push_back(uint8_t(crc & 0xFF));
  f.push_back(uint8_t(crc >> 8));
  return f;
}

// The answer is complete when the frame it announces has arrived: an exception is five bytes.
size_t RtuAnswerLength(const Bytes& a) {
  if (a.size() < 3) return 5;
  return (a[1] & 0x80) ? 5 : size_t(3 + a[2] + 2);
}

// Collects an RTU answer with the layer's own wait, within ALimit.
Bytes ReceiveRtu(TKRSerialDevice& port, milliseconds ALimit) {
  Bytes got;
  const auto until = Clock::now() + ALimit;
  while (got.size() < RtuAnswerLength(got) && Clock::now() < until) {
    if (port.WaitForInput(100) != swReadable) continue;
    uint8_t buf[256];
    const int32_t n = port.Read(buf, sizeof buf);
    got.insert(got.end(), buf, buf + n);
  }
  return got;
}

void ExpectGoodRtuAnswer(const Bytes& a) {
  ASSERT_GE(a.size(), 5u);
  EXPECT_EQ(a[0], 1);
  EXPECT_TRUE(a[1] == 3 || a[1] == 0x83) << int(a[1]);
  EXPECT_EQ(a.size(), RtuAnswerLength(a));
  const uint16_t crc = KRCRC16(a.data(), int32_t(a.size() - 2));
  EXPECT_EQ(a[a.size() - 2], crc & 0xFF);
  EXPECT_EQ(a[a.size() - 1], crc >> 8);
}

// First, while the vanishing simulator is still there: once its line is gone, a write fails
// within its bound, and neither the wait nor the read hangs or makes up input.
TEST(SerialContract, APortThatVanishesFailsWritesWithinTheirBound) {
  TKRSerialDevice port;
  ASSERT_EQ(port.Open(Env("KELVORA_CONTRACT_VANISHING_PORT"), Line9600()), sorOk);
  const Bytes req = RtuRead();
  ASSERT_EQ(port.Write(req.data(), int32_t(req.size()), 500), int32_t(req.size()));
  ExpectGoodRtuAnswer(ReceiveRtu(port, milliseconds(2000)));

  bool failed = false;
  const auto until = Clock::now() + std::chrono::seconds(20);
  while (!failed && Clock::now() < until) {
    const auto t0 = Clock::now();
    failed = port.Write(req.data(), int32_t(req.size()), 300) < int32_t(req.size());
    EXPECT_LT(Clock::now() - t0, milliseconds(1500));
    if (!failed) ReceiveRtu(port, milliseconds(300));
  }
  ASSERT_TRUE(failed);
  const auto t0 = Clock::now();
  port.WaitForInput(100);
  EXPECT_LT(Clock::now() - t0, milliseconds(1000));
  EXPECT_EQ(port.Read(std::vector<uint8_t>(16).data(), 16), 0);
}

TEST(SerialContract, OpenIsExclusiveAndAMissingPortIsRefused) {
  const std::string path = Env("KELVORA_CONTRACT_PORT");
  TKRSerialDevice first, second;
  ASSERT_EQ(first.Open(path, Line9600()), sorOk);
  EXPECT_TRUE(first.IsOpen());
  EXPECT_EQ(second.Open(path, Line9600()), sorOpenFailed);
  EXPECT_FALSE(second.IsOpen());
  first.Close();
  EXPECT_FALSE(first.IsOpen());
  EXPECT_EQ(second.Open(path, Line9600()), sorOk);

  TKRSerialDevice missing;
  EXPECT_EQ(missing.Open(Env("KELVORA_CONTRACT_MISSING_PORT"), Line9600()), sorOpenFailed);
  EXPECT_FALSE(missing.IsOpen());
}

TEST(SerialContract, LineSettingsTheLineCannotTakeAreRefused) {
  const std::string path = Env("KELVORA_CONTRACT_PORT");
  TKRSerialDevice port;
  TKRSerialSettings s = Line9600();
  s.DataBits = 9;
  EXPECT_EQ(port.Open(path, s), sorLineRefused);
  EXPECT_FALSE(port.IsOpen());
  s = Line9600();
  s.InputBuffer = 0;
  EXPECT_EQ(port.Open(path, s), sorQueueRefused);
  s = Line9600();
  s.DataBits = 7;
  s.StopBits = 2;
  EXPECT_EQ(port.Open(path, s), sorOk);
  s = Line9600();
  s.BaudRate = 115200;
  EXPECT_EQ(port.Open(path, s), sorOk);  // reopening replaces the first configuration
}

TEST(SerialContract, ModbusRoundTripWithWaitingCountAndTimedWait) {
  TKRSerialDevice port;
  ASSERT_EQ(port.Open(Env("KELVORA_CONTRACT_PORT"), Line9600()), sorOk);

  // Nothing asked, nothing comes: the read returns at once, the wait ends at its limit.
  uint8_t buf[64];
  auto t0 = Clock::now();
  EXPECT_EQ(port.Read(buf, sizeof buf), 0);
  EXPECT_EQ(port.InputCount(), 0);
  EXPECT_LT(Clock::now() - t0, milliseconds(150));
  t0 = Clock::now();
  EXPECT_EQ(port.WaitForInput(250), swTimeout);
  EXPECT_GE(Clock::now() - t0, milliseconds(200));
  EXPECT_LT(Clock::now() - t0, milliseconds(1500));

  const Bytes req = RtuRead();
  for (int round = 0; round < 3; ++round) {
    ASSERT_EQ(port.Write(req.data(), int32_t(req.size()), 500), int32_t(req.size()));
    ExpectGoodRtuAnswer(ReceiveRtu(port, milliseconds(2000)));
  }
}

TEST(SerialContract, StaleInputIsDiscarded) {
  TKRSerialDevice port;
  ASSERT_EQ(port.Open(Env("KELVORA_CONTRACT_PORT"), Line9600()), sorOk);
  const Bytes req = RtuRead();
  ASSERT_EQ(port.Write(req.data(), int32_t(req.size()), 500), int32_t(req.size()));
  // The whole answer waits, unread, before it is dropped.
  const auto until = Clock::now() + std::chrono::seconds(2);
  while (port.InputCount() < 5 && Clock::now() < until) port.WaitForInput(50);
  std::this_thread::sleep_for(milliseconds(100));
  ASSERT_GE(port.InputCount(), 5);
  port.DiscardInput();
  EXPECT_EQ(port.InputCount(), 0);
  EXPECT_EQ(port.WaitForInput(100), swTimeout);
  // The next exchange gets its own answer, not the dropped one.
  ASSERT_EQ(port.Write(req.data(), int32_t(req.size()), 500), int32_t(req.size()));
  ExpectGoodRtuAnswer(ReceiveRtu(port, milliseconds(2000)));
}

// A non-blocking connect to 127.0.0.1 that ends connected (0) or with the error code.
int32_t ConnectLoopback(KRSocketApi::THandle s, uint16_t port) {
  using namespace KRSocketApi;
  if (!SetNonBlocking(s)) return -1;
  if (Connect(s, "127.0.0.1", port) == 0) return 0;
  const int32_t error = LastError();
  if (!ConnectInProgress(error)) return error;
  bool writable = false;
  if (!Select(s, nullptr, &writable, nullptr, 3000) || !writable) return -2;
  return PendingError(s);
}

TEST(SocketContract, ModbusRoundTripOverLoopback) {
  using namespace KRSocketApi;
  const THandle s = Create(2, 1, 0);
  ASSERT_NE(s, kInvalid);
  ASSERT_EQ(ConnectLoopback(s, uint16_t(std::stoi(Env("KELVORA_CONTRACT_TCP_PORT")))), 0);
  std::string addr;
  uint16_t local = 0;
  EXPECT_TRUE(LocalAddress(s, addr, local));
  EXPECT_EQ(addr, "127.0.0.1");
  EXPECT_NE(local, 0);
  EXPECT_EQ(PeekOne(s), -1);  // nothing waits, and the peek does not wait for it

  for (uint8_t id = 1; id <= 3; ++id) {
    const uint8_t req[] = {0, id, 0, 0, 0, 6, 1, 3, 0, 0, 0, 1};
    ASSERT_EQ(Send(s, req, sizeof req, 0), int32_t(sizeof req));
    bool readable = false;
    ASSERT_TRUE(Select(s, &readable, nullptr, nullptr, 3000));
    ASSERT_TRUE(readable);
    Bytes got(260);
    size_t have = 0;
    const auto until = Clock::now() + std::chrono::seconds(3);
    while ((have < 6 || have < size_t(6 + got[5])) && Clock::now() < until) {
      if (PeekOne(s) != 1) {
        Select(s, &readable, nullptr, nullptr, 100);
        continue;
      }
      const int32_t n = Recv(s, got.data() + have, int32_t(got.size() - have), 0);
      ASSERT_GT(n, 0);
      have += size_t(n);
    }
    ASSERT_GE(have, 9u);
    EXPECT_EQ(got[1], id);  // the transaction number comes back
    EXPECT_EQ(have, size_t(6 + got[5]));
    EXPECT_TRUE(got[7] == 3 || got[7] == 0x83) << int(got[7]);
  }
  Shutdown(s);
  Close(s);
}

TEST(SocketContract, AConnectRefusedShowsItsError) {
  using namespace KRSocketApi;
  const THandle s = Create(2, 1, 0);
  ASSERT_NE(s, kInvalid);
  const int32_t result =
      ConnectLoopback(s, uint16_t(std::stoi(Env("KELVORA_CONTRACT_CLOSED_PORT"))));
  EXPECT_GT(result, 0) << "connected, or the wait never ended";
  Close(s);
}

}  // namespace
