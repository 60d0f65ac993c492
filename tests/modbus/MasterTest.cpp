#include <gtest/gtest.h>

#include <QCoreApplication>

#include <chrono>
#include <memory>
#include <optional>
#include <thread>
#include <vector>

#include "bench/modbus/ModbusPeers.h"
#include "modbus/KRCOMPortConnector.h"
#include "modbus/KRCRC.h"
#include "modbus/KRModbusMaster.h"
#include "modbus/KRTCPConnector.h"
#include "tests/modbus/ScriptConnector.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;

// What one request's callback saw.
struct Seen {
  int32_t Error = -999;
  std::optional<TKRRegisters> Registers;
  bool Null = false;
  bool Done() const { return Error != -999; }
  TMBMCallBack Registers_() {
    return [this](int32_t e, void* d) {
      Error = e;
      Null = d == nullptr;
      if (d) Registers = *static_cast<TKRRegisters*>(d);
    };
  }
  TMBMCallBack Plain() {
    return [this](int32_t e, void* d) {
      Error = e;
      Null = d == nullptr;
    };
  }
};

bool Await(const std::function<bool()>& done, int ms = 3000) {
  const auto end = Clock::now() + std::chrono::milliseconds(ms);
  while (!done() && Clock::now() < end) QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
  return done();
}

Bytes WithCRC(Bytes b) {
  const uint16_t crc = KRCRC16(b.data(), int32_t(b.size()));
  b.push_back(uint8_t(crc));
  b.push_back(uint8_t(crc >> 8));
  return b;
}

TEST(Master, RefusalsComeBeforeTheOperationReturns) {
  TKRModbusMaster master;
  Seen none, inactive, full;
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, none.Plain());
  EXPECT_EQ(none.Error, -1);
  EXPECT_TRUE(none.Null);
  EXPECT_FALSE(master.Active());

  ScriptConnector c;
  master.SetConnector(&c);
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, inactive.Plain());
  EXPECT_EQ(inactive.Error, -11);

  master.SetActive(true);
  EXPECT_TRUE(master.Active());
  c.S.Hold.Reset();  // the worker holds the first request, the rest wait
  Seen first;
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, first.Plain());
  while (c.QueueCount() > 0) std::this_thread::yield();
  std::vector<Seen> queued(255);
  for (auto& s : queued) master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, s.Plain());
  EXPECT_EQ(c.QueueCount(), 255);
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, full.Plain());
  EXPECT_EQ(full.Error, -8);
  for (const auto& s : queued) EXPECT_FALSE(s.Done());
  c.S.Hold.Set();
  master.SetActive(false);  // queued requests are dropped without a word
  for (const auto& s : queued) EXPECT_FALSE(s.Done());

  Seen tooLong;
  master.SetActive(true);
  master.WriteHoldingRegisters(mbtRTU, 1, 0, TKRRegisters(128, 1), tooLong.Plain());
  EXPECT_EQ(tooLong.Error, -7);
  master.SetActive(false);
}

TEST(Master, TcpTransactionBytesCountAndWrap) {
  ScriptConnector c;
  TKRModbusMaster master;
  master.SetConnector(&c);
  master.SetActive(true);
  for (int i = 0; i < 257; ++i) c.S.Replies.push_back({uint8_t(i), 0, 0, 0, 0, 5, 1, 3, 2, 0x0B, 0xB8});
  c.S.Replies.push_back({5, 0, 0, 0, 0, 5, 1, 3, 2, 0x0B, 0xB8});  // for transaction byte 1
  std::vector<Seen> seen(258);
  for (int i = 0; i < 258; ++i) {
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, seen[i].Registers_());
    if (i % 100 == 99) {
      ASSERT_TRUE(Await([&] { return seen[i].Done(); }));
    }
  }
  ASSERT_TRUE(Await([&] { return seen.back().Done(); }));
  ASSERT_EQ(c.S.Sent.size(), 258u);
  EXPECT_EQ(c.S.Sent[0][0], 0);
  EXPECT_EQ(c.S.Sent[1][0], 1);
  EXPECT_EQ(c.S.Sent[255][0], 255);
  EXPECT_EQ(c.S.Sent[256][0], 0);
  for (const auto& f : c.S.Sent) EXPECT_EQ(f[1], 0);
  for (int i = 0; i < 257; ++i) ASSERT_EQ(seen[i].Error, 0) << i;
  EXPECT_EQ(*seen[0].Registers, (TKRRegisters{3000}));
  EXPECT_EQ(seen[257].Error, -2);
  master.SetActive(false);
}

TEST(Master, AnswersAreCheckedAgainstTheirRequest) {
  ScriptConnector c;
  TKRModbusMaster master;
  master.SetConnector(&c);
  master.SetCheckID(false);
  master.SetActive(true);
  c.S.Replies = {
      {0x01, 0x03, 0x02, 0x0B, 0xB8, 0xBF, 0x06},  // good
      {0x01, 0x83, 0x02, 0xC0, 0xF1},              // exception
      WithCRC({0x01, 0x04, 0x02, 0x0B, 0xB8}),     // another function
      WithCRC({0x01, 0x03, 0x14, 0x0B, 0xB8}),     // claims more than it carries
      {9, 9, 0, 0, 0, 5, 1, 3, 2, 0, 7},           // TCP, no transaction check
  };
  Seen good, exc, func, shortA, tcp;
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, good.Registers_());
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, exc.Registers_());
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, func.Registers_());
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 10, shortA.Registers_());
  master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, tcp.Registers_());
  ASSERT_TRUE(Await([&] { return tcp.Done(); }));
  EXPECT_EQ(good.Error, 0);
  EXPECT_EQ(*good.Registers, (TKRRegisters{3000}));
  EXPECT_EQ(exc.Error, 2);
  EXPECT_TRUE(exc.Null);
  EXPECT_EQ(func.Error, -5);
  EXPECT_EQ(shortA.Error, -3);
  EXPECT_TRUE(shortA.Null);
  EXPECT_EQ(tcp.Error, 0);
  EXPECT_EQ(c.S.Sent[4][0], 0);  // nothing sent as transaction byte either
  EXPECT_EQ(c.S.Sent[0], (Bytes{0x01, 0x03, 0x00, 0x00, 0x00, 0x01, 0x84, 0x0A}));

  // A transport failure comes through as the connector's own code.
  c.S.Answers.push_back(-6);
  Seen lost;
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, lost.Registers_());
  ASSERT_TRUE(Await([&] { return lost.Done(); }));
  EXPECT_EQ(lost.Error, 6);
  EXPECT_TRUE(lost.Null);
  master.SetActive(false);
}

TEST(Master, CallbackErrorsAreReportedAndRequestsStillReleased) {
  ScriptConnector c;
  TKRModbusMaster master;
  master.SetName("ModbusMaster");
  QString reported;
  master.SetOnRuntimeError([&](void* sender, const QString& d, const std::exception&) {
    EXPECT_EQ(sender, &master);
    reported = d;
  });
  master.SetConnector(&c);
  master.SetActive(true);
  c.S.Replies.push_back({0x01, 0x03, 0x02, 0x0B, 0xB8, 0xBF, 0x06});
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1,
                              [](int32_t, void*) { throw std::runtime_error("handler"); });
  ASSERT_TRUE(Await([&] { return !reported.isEmpty(); }));
  EXPECT_EQ(reported, QString("TKRMBThread[FModbus.Name=\"ModbusMaster\"] procedure _CallBack; "));
  master.SetActive(false);
}

TEST(Master, PropertiesAndConnectorLifetime) {
  TKRModbusMaster master;
  master.SetWaitTime(50);
  master.SetWaitPauseTime(50);
  EXPECT_EQ(master.WaitTime(), 0u);
  EXPECT_EQ(master.WaitPauseTime(), 0u);
  EXPECT_EQ(master.QueueCount(), 0);
  EXPECT_TRUE(master.CheckID());
  auto a = std::make_unique<ScriptConnector>();
  ScriptConnector b;
  master.SetConnector(a.get());
  master.SetActive(true);
  EXPECT_TRUE(a->Active());
  master.SetConnector(&b);  // the old one is switched off, the new one left off
  EXPECT_FALSE(a->Active());
  EXPECT_FALSE(b.Active());
  master.SetConnector(a.get());
  a.reset();
  EXPECT_EQ(master.Connector(), nullptr);
  Seen s;
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, s.Plain());
  EXPECT_EQ(s.Error, -1);
  QString level;
  EXPECT_EQ(TKRModbusMaster::ErrorMsg(-104, level), QString("Ответ не получен."));
}

// End to end against independent slaves.
TEST(MasterEndToEnd, RtuOverAPseudoTerminal) {
  TPtyRtuSlave slave;
  for (int i = 0; i < 10; ++i) slave.SetRegister(i, uint16_t(100 * i));
  TKRCOMPortConnector c;
  c.SetPort(QString::fromStdString(slave.Path()));
  c.SetBaudRate(115200);
  c.SetReadTimeout(250);
  c.SetWriteTimeout(250);
  c.SetWaitRespTime(800);
  TKRModbusMaster master;
  master.SetConnector(&c);
  master.SetActive(true);
  ASSERT_TRUE(c.Connected());
  Seen read, write, echo, exc;
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 10, read.Registers_());
  master.WriteHoldingRegisters(mbtRTU, 1, 20, {5, 6, 7}, write.Plain());
  master.WriteHoldingRegister(mbtRTU, 1, 2, 4321, echo.Registers_());
  master.ReadHoldingRegisters(mbtRTU, 1, 98, 5, exc.Registers_());
  ASSERT_TRUE(Await([&] { return exc.Done(); }));
  EXPECT_EQ(read.Error, 0);
  ASSERT_TRUE(read.Registers);
  EXPECT_EQ((*read.Registers)[9], 900);
  EXPECT_EQ(write.Error, 0);
  EXPECT_EQ(slave.Register(22), 7);
  EXPECT_EQ(echo.Error, 0);
  EXPECT_EQ(*echo.Registers, (TKRRegisters{4321}));
  EXPECT_EQ(exc.Error, 2);

  slave.Mute = true;
  Seen lost;
  const auto t0 = Clock::now();
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, lost.Plain());
  ASSERT_TRUE(Await([&] { return lost.Done(); }));
  EXPECT_EQ(lost.Error, 6);
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(500));

  // Disconnecting while an exchange is failing: the stop waits for it and meanwhile serves its
  // failure completion, which therefore has run when SetActive returns.
  Seen cut;
  master.ReadHoldingRegisters(mbtRTU, 1, 0, 1, cut.Plain());
  while (c.QueueCount() > 0) std::this_thread::yield();  // the worker has taken it
  master.SetActive(false);
  EXPECT_EQ(cut.Error, 6);
  EXPECT_FALSE(c.Connected());
}

TEST(MasterEndToEnd, TcpOverLoopback) {
  TTcpModbusServer server;
  server.SetRegister(0, 3000);
  TKRTCPConnector c;
  c.SetIP("127.0.0.1");
  c.SetPort(server.Port());
  TKRModbusMaster master;
  master.SetConnector(&c);
  master.SetActive(true);
  ASSERT_TRUE(c.Connected());
  std::vector<Seen> reads(5);
  for (auto& s : reads) master.ReadHoldingRegisters(mbtTCP, 1, 0, 2, s.Registers_());
  Seen write;
  master.WriteHoldingRegister(mbtTCP, 1, 1, 17, write.Registers_());
  Seen after;
  master.ReadHoldingRegisters(mbtTCP, 1, 0, 2, after.Registers_());
  ASSERT_TRUE(Await([&] { return after.Done(); }));
  for (const auto& s : reads) {
    EXPECT_EQ(s.Error, 0);
    EXPECT_EQ(*s.Registers, (TKRRegisters{3000, 0}));
  }
  EXPECT_EQ(write.Error, 0);
  EXPECT_TRUE(write.Null);  // the TCP echo is not decoded
  EXPECT_EQ(*after.Registers, (TKRRegisters{3000, 17}));
  master.SetActive(false);
}

// Modbus TCP carries the longest register reads, which RTU's one-byte lengths cannot.
TEST(MasterEndToEnd, TcpReadsOf124And125Registers) {
  TTcpModbusServer server(130);
  for (int i = 0; i < 130; ++i) server.SetRegister(i, uint16_t(7 * i));
  TKRTCPConnector c;
  c.SetIP("127.0.0.1");
  c.SetPort(server.Port());
  TKRModbusMaster master;
  master.SetConnector(&c);
  master.SetActive(true);
  Seen r124, r125, r126;
  master.ReadHoldingRegisters(mbtTCP, 1, 0, 124, r124.Registers_());
  master.ReadHoldingRegisters(mbtTCP, 1, 5, 125, r125.Registers_());
  master.ReadHoldingRegisters(mbtTCP, 1, 0, 126, r126.Registers_());
  EXPECT_EQ(r126.Error, -7);  // beyond what one answer can carry
  ASSERT_TRUE(Await([&] { return r125.Done(); }));
  ASSERT_EQ(r124.Error, 0);
  ASSERT_EQ(r124.Registers->size(), 124u);
  EXPECT_EQ(r124.Registers->back(), 7 * 123);
  ASSERT_EQ(r125.Error, 0);
  ASSERT_EQ(r125.Registers->size(), 125u);
  EXPECT_EQ(r125.Registers->back(), 7 * 129);
  master.SetActive(false);
}

// A handler may disconnect: from an answer's callback and from a transport failure's, over
// both links, without the stop and the waiting worker waiting for each other.
TEST(MasterEndToEnd, DisconnectingFromAnyCallbackIsSafe) {
  TPtyRtuSlave slave;
  TTcpModbusServer server;
  TKRCOMPortConnector serial;
  serial.SetPort(QString::fromStdString(slave.Path()));
  serial.SetBaudRate(115200);
  serial.SetReadTimeout(100);
  serial.SetWriteTimeout(100);
  serial.SetWaitRespTime(200);
  TKRTCPConnector tcp;
  tcp.SetIP("127.0.0.1");
  tcp.SetPort(server.Port());
  tcp.SetReadTimeout(200);
  struct TLink {
    TKRConnector& Connector;
    TModbusPeer& Peer;
    TMBType Type;
  };
  for (TLink link : {TLink{serial, slave, mbtRTU}, TLink{tcp, server, mbtTCP}}) {
    for (const bool failing : {false, true}) {
      link.Peer.Mute = failing;
      TKRModbusMaster master;
      master.SetConnector(&link.Connector);
      master.SetActive(true);
      ASSERT_TRUE(link.Connector.Connected());
      int32_t error = -999;
      bool activeAfter = true;
      master.ReadHoldingRegisters(link.Type, 1, 0, 1, [&](int32_t e, void*) {
        link.Connector.SetActive(false);
        activeAfter = link.Connector.Active();
        error = e;
      });
      ASSERT_TRUE(Await([&] { return error != -999; }))
          << "link " << int(link.Type) << (failing ? ", failing" : ", answered");
      EXPECT_EQ(error, failing ? 6 : 0);
      EXPECT_FALSE(activeAfter);
      // The connector works again afterwards.
      link.Peer.Mute = false;
      master.SetActive(true);
      Seen again;
      master.ReadHoldingRegisters(link.Type, 1, 0, 1, again.Plain());
      ASSERT_TRUE(Await([&] { return again.Done(); }));
      EXPECT_EQ(again.Error, 0);
      master.SetActive(false);
    }
  }
}

// Once a connector's destruction has begun no callback runs, neither the answer that was on its
// way nor the failure of the exchange in progress: a callback could resubmit onto it.
TEST(MasterEndToEnd, ADestroyedConnectorRunsNoCallback) {
  TTcpModbusServer server;
  for (const bool failing : {false, true}) {
    server.Mute = failing;
    auto c = std::make_unique<TKRTCPConnector>();
    c->SetIP("127.0.0.1");
    c->SetPort(server.Port());
    c->SetReadTimeout(150);
    TKRModbusMaster master;
    master.SetConnector(c.get());
    master.SetActive(true);
    ASSERT_TRUE(c->Connected());
    int calls = 0;
    const int requests = server.Requests;
    master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, [&](int32_t, void*) {
      ++calls;
      master.ReadHoldingRegisters(mbtTCP, 1, 0, 1, [&](int32_t, void*) { ++calls; });
    });
    // The request is out; when answered, the answer is posted and not yet run.
    const auto until = Clock::now() + std::chrono::seconds(3);
    while (server.Requests == requests && Clock::now() < until)
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    if (!failing) {
      while (server.Replies == 0 && Clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
    }
    c.reset();
    QCoreApplication::processEvents();
    EXPECT_EQ(calls, 0) << (failing ? "failing" : "answered");
    EXPECT_EQ(master.Connector(), nullptr);
  }
}

}  // namespace
