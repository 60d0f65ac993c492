#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QThread>

#include <atomic>
#include <chrono>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "tests/modbus/ScriptConnector.h"

namespace {

struct Outcome {
  int32_t Error = -999;
  int32_t Length = -1;
  uint8_t First = 0;
  bool OnGui = false;
  bool Failure = false;  // came through the failure completion
};

// The sender's token: counts live tokens, records a transport failure.
struct Token : TKRPackToken {
  static std::atomic<int> Live;
  Outcome* Out;
  explicit Token(Outcome* o) : Out(o) { ++Live; }
  ~Token() override { --Live; }
  void TransportFailed(int32_t AError) override {
    Out->Error = AError;
    Out->Failure = true;
    Out->OnGui = QThread::currentThread() == qApp->thread();
  }
};
std::atomic<int> Token::Live{0};

void Send(TKRConnector& c, Outcome& out, int32_t rlen = 7) {
  auto buf = std::make_unique<TKRBuffer>();
  c.Send(std::move(buf), 8,
         [&out](int32_t e, PKRBuffer p, int32_t len, TKRPackToken*) {
           out.Error = e;
           out.Length = len;
           out.First = len > 0 ? (*p)[0] : 0;
           out.OnGui = QThread::currentThread() == qApp->thread();
         },
         std::make_unique<Token>(&out), true, rlen, 0, 0);
}

bool WaitFor(const std::function<bool()>& done, int ms = 3000) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  return true;
}

struct StatusLog {
  std::vector<TKRConnectorStat> Seen;
  void Attach(TKRConnector& c) {
    c.SetOnConnectionStatus([this](TKRConnector*, TKRConnectorStat s, uint32_t) { Seen.push_back(s); });
  }
};

class Connector : public ::testing::Test {
 protected:
  void TearDown() override { EXPECT_EQ(Token::Live, 0); }
};

TEST_F(Connector, FirstPackConnectsAndDeliversOnTheGuiThread) {
  {
    ScriptConnector c;
    c.S.OpenSucceeds = false;
    StatusLog log;
    log.Attach(c);
    c.SetActive(true);
    ASSERT_EQ(log.Seen, (std::vector<TKRConnectorStat>{cstDisconnected}));
    c.SetActive(true);
    EXPECT_EQ(log.Seen.size(), 1u);
    c.S.OpenSucceeds = true;
    c.S.Answer({7});
    Outcome out;
    Send(c, out);
    ASSERT_TRUE(WaitFor([&] { return out.Error != -999; }));
    EXPECT_EQ(out.Error, 0);
    EXPECT_EQ(out.Length, 7);
    EXPECT_EQ(out.First, 0xA0);
    EXPECT_TRUE(out.OnGui);
    EXPECT_FALSE(out.Failure);
    EXPECT_EQ(c.GetCounter(), 1u);
    WaitFor([&] { return log.Seen.size() >= 3; }, 200);
    EXPECT_EQ(log.Seen,
              (std::vector<TKRConnectorStat>{cstDisconnected, cstConnecting, cstConnected}));
    c.SetActive(false);
    EXPECT_EQ(log.Seen.back(), cstNotActive);
    EXPECT_EQ(c.Stat(), cstNotActive);
  }
}

// The handlers of a result, of a failure and of a status change may each delete the connector
// that called them (a window that closes its link when the supply goes away).
struct DeletingToken : TKRPackToken {
  std::function<void()> Failed;
  explicit DeletingToken(std::function<void()> f) : Failed(std::move(f)) {}
  void TransportFailed(int32_t) override { Failed(); }
};

TEST_F(Connector, AHandlerMayDeleteItsOwnConnector) {
  auto c = std::make_unique<ScriptConnector>();
  c->SetActive(true);
  c->S.Answer({7});
  c->Send(std::make_unique<TKRBuffer>(), 8,
          [&c](int32_t, PKRBuffer, int32_t, TKRPackToken*) { c.reset(); }, nullptr, true, 7, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !c; }));

  c = std::make_unique<ScriptConnector>();
  c->SetActive(true);
  c->S.Answer({-6});
  c->Send(std::make_unique<TKRBuffer>(), 8, {}, std::make_unique<DeletingToken>([&c] { c.reset(); }),
          true, 7, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !c; }));

  c = std::make_unique<ScriptConnector>();
  c->SetOnConnectionStatus([&c](TKRConnector*, TKRConnectorStat s, uint32_t) {
    if (s == cstConnected) c.reset();
  });
  c->S.OpenSucceeds = false;  // the first pack connects, and reports it
  c->SetActive(true);
  c->S.OpenSucceeds = true;
  c->S.Answer({7, 7, 7});
  for (int i = 0; i < 3; ++i) c->Send(std::make_unique<TKRBuffer>(), 8, {}, nullptr, true, 7, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !c; }));
}

TEST_F(Connector, TransportFailuresReachTheTokenWhileTheWorkerWaits) {
  ScriptConnector c;
  c.SetActive(true);
  c.SetCountErrorsForReconnect(0);
  Outcome timeout, silent, shortWrite, writeTimeout;
  c.S.Answer({-6, -4});
  Send(c, timeout);
  Send(c, silent);
  ASSERT_TRUE(WaitFor([&] { return silent.Error != -999; }));
  c.S.SendCode = 3;
  Send(c, shortWrite);
  ASSERT_TRUE(WaitFor([&] { return shortWrite.Error != -999; }));
  c.S.SendCode = 5;
  Send(c, writeTimeout);
  ASSERT_TRUE(WaitFor([&] { return writeTimeout.Error != -999; }));
  EXPECT_EQ(timeout.Error, 6);
  EXPECT_EQ(silent.Error, 4);
  EXPECT_EQ(shortWrite.Error, 3);
  EXPECT_EQ(writeTimeout.Error, 5);
  for (const Outcome* o : {&timeout, &silent, &shortWrite, &writeTimeout}) {
    EXPECT_TRUE(o->Failure);
    EXPECT_TRUE(o->OnGui);
  }
  EXPECT_EQ(c.S.Closes, 0);  // CountErrorsForReconnect 0: failures never close the link
}

TEST_F(Connector, ConsecutiveFailuresCloseTheLinkUntilReconnectTime) {
  ScriptConnector c;
  StatusLog log;
  log.Attach(c);
  c.SetReconnectTime(400);
  c.SetActive(true);
  ASSERT_TRUE(c.Connected());
  c.S.Answer({-6, 7, -6, -6, -6});  // the good answer in between restarts the count
  Outcome o[5];
  for (auto& x : o) Send(c, x);
  ASSERT_TRUE(WaitFor([&] { return o[4].Error != -999; }));
  EXPECT_EQ(c.S.Closes, 1);
  EXPECT_FALSE(c.Connected());
  EXPECT_EQ(o[1].Error, 0);
  EXPECT_EQ(o[4].Error, 6);
  WaitFor([&] { return !log.Seen.empty() && log.Seen.back() == cstDisconnected; }, 500);
  EXPECT_EQ(log.Seen.back(), cstDisconnected);

  // Within ReconnectTime: refused at once, no attempt.
  const int opensBefore = c.S.Opens;
  Outcome refused;
  Send(c, refused);
  ASSERT_TRUE(WaitFor([&] { return refused.Error != -999; }));
  EXPECT_EQ(refused.Error, 2);
  EXPECT_EQ(c.S.Opens, opensBefore);
  WaitFor([&] { return log.Seen.back() == cstWaitReconnecting; }, 500);
  EXPECT_EQ(log.Seen.back(), cstWaitReconnecting);

  // After it: the next pack reconnects.
  std::this_thread::sleep_for(std::chrono::milliseconds(420));
  c.S.Answer({5});
  Outcome again;
  Send(c, again);
  ASSERT_TRUE(WaitFor([&] { return again.Error != -999; }));
  EXPECT_EQ(again.Error, 0);
  EXPECT_EQ(c.S.Opens, opensBefore + 1);
  WaitFor([&] { return log.Seen.back() == cstConnected; }, 500);
  ASSERT_GE(log.Seen.size(), 2u);
  EXPECT_EQ(log.Seen[log.Seen.size() - 2], cstConnecting);
  EXPECT_EQ(log.Seen.back(), cstConnected);
}

TEST_F(Connector, FailedAttemptsAreSpacedByReconnectTime) {
  ScriptConnector c;
  c.S.OpenSucceeds = false;
  c.SetReconnectTime(2000);
  c.SetActive(true);
  Outcome first, second;
  Send(c, first);  // a new worker tries at once
  ASSERT_TRUE(WaitFor([&] { return first.Error != -999; }));
  Send(c, second);
  ASSERT_TRUE(WaitFor([&] { return second.Error != -999; }));
  EXPECT_EQ(first.Error, 2);
  EXPECT_EQ(second.Error, 2);
  EXPECT_EQ(c.S.Opens, 2);  // one by SetActive, one by the first pack
  EXPECT_LT(KRTicksSince(c.LastConnectTime()), 2000u);
}

TEST_F(Connector, ResultsAfterDeactivationAreDroppedAndReleased) {
  ScriptConnector c;
  c.SetActive(true);
  c.S.Answer({7});
  Outcome late;
  Send(c, late);
  // The result is posted but the GUI thread has not run it yet.
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  c.SetActive(false);
  QCoreApplication::processEvents();
  EXPECT_EQ(late.Error, -999);

  Outcome discarded;
  Send(c, discarded);  // inactive: no callback ever
  QCoreApplication::processEvents();
  EXPECT_EQ(discarded.Error, -999);
}

TEST_F(Connector, FullQueueRefusesAtOnce) {
  ScriptConnector c;
  c.SetActive(true);
  c.S.Hold.Reset();
  std::vector<Outcome> out(257);
  Send(c, out[0]);
  while (c.QueueCount() > 0) std::this_thread::yield();
  for (int i = 1; i < 257; ++i) Send(c, out[i]);
  // One pack is held by the worker, 255 wait; the 257th is refused before Send returns.
  EXPECT_EQ(out[256].Error, 1);
  EXPECT_FALSE(out[256].Failure);
  EXPECT_EQ(c.QueueCount(), 255);
  c.QueueClear();
  EXPECT_EQ(c.QueueCount(), 0);
  c.S.Hold.Set();
  c.SetActive(false);
}

// Stopping the worker while its exchange is failing: the GUI thread must serve the failure
// completion it is waiting for, or both threads wait for ever.
TEST_F(Connector, DeactivationDuringAFailingExchangeDoesNotDeadlock) {
  for (int round = 0; round < 10; ++round) {
    ScriptConnector c;
    c.SetActive(true);
    c.S.Hold.Reset();
    c.S.Answer({-6});
    Outcome failing, queued;
    Send(c, failing);
    Send(c, queued);
    std::thread release([&] {
      std::this_thread::sleep_for(std::chrono::milliseconds(round % 3));
      c.S.Hold.Set();
    });
    while (c.QueueCount() > 1) std::this_thread::yield();
    c.SetActive(false);
    release.join();
    EXPECT_EQ(failing.Error, 6);
    EXPECT_TRUE(failing.Failure);
    EXPECT_EQ(queued.Error, -999);
  }
}

TEST_F(Connector, WaitForEmptyKeepsServingFailures) {
  ScriptConnector c;
  c.SetActive(true);
  c.SetCountErrorsForReconnect(0);
  std::vector<Outcome> out(20);
  for (auto& o : out) Send(c, o);  // every receive fails: each needs the GUI thread
  c.QueueWaitForEmpty(3000);
  EXPECT_EQ(c.QueueCount(), 0);
  c.SetActive(false);
  for (const auto& o : out) EXPECT_EQ(o.Error, 4);
}

TEST_F(Connector, TimeoutRangesAndTexts) {
  ScriptConnector c;
  EXPECT_EQ(c.ReadTimeout(), 100u);
  c.SetReadTimeout(5);
  EXPECT_EQ(c.ReadTimeout(), 100u);
  c.SetReadTimeout(10);
  EXPECT_EQ(c.ReadTimeout(), 10u);
  c.SetReadTimeout(10000);
  EXPECT_EQ(c.ReadTimeout(), 10000u);
  c.SetReadTimeout(10001);
  EXPECT_EQ(c.ReadTimeout(), 10000u);
  c.SetWriteTimeout(9);
  EXPECT_EQ(c.WriteTimeout(), 100u);
  c.SetConnectTimeout(20000);
  EXPECT_EQ(c.ConnectTimeout(), 1000u);
  c.SetWaitRespTime(0);
  EXPECT_EQ(c.WaitRespTime(), 0u);
  EXPECT_EQ(c.CountErrorsForReconnect(), 3);
  EXPECT_EQ(c.ReconnectTime(), 5000u);
  EXPECT_EQ(c.QueueOutCount(), 0);
  EXPECT_FALSE(c.Active());
  EXPECT_EQ(TKRConnector::ErrorMsg(0), QString("Нет ошибок."));
  EXPECT_EQ(TKRConnector::ErrorMsg(2), QString("Соединение не установлено."));
  EXPECT_EQ(TKRConnector::ErrorMsg(5), QString("Истекло время ожидания при отправке данных."));
  EXPECT_EQ(TKRConnector::ErrorMsg(6), QString("Истекло время ожидания при получении данных."));
  EXPECT_EQ(TKRConnector::ErrorMsg(7), QString("Соединение не активно."));
  EXPECT_EQ(TKRConnector::ErrorMsg(8), QString("Неизвестная ошибка."));
  EXPECT_EQ(TKRConnector::ErrorMsg(-1), QString("Неизвестная ошибка."));
}

TEST_F(Connector, CallbackExceptionsAreReportedNotPropagated) {
  ScriptConnector c;
  QString reported;
  c.SetOnRuntimeError([&](void* sender, const QString& d, const std::exception& e) {
    EXPECT_EQ(sender, &c);
    reported = d + " " + e.what();
  });
  c.SetActive(true);
  c.S.Answer({3});
  c.Send(std::make_unique<TKRBuffer>(), 1,
         [](int32_t, PKRBuffer, int32_t, TKRPackToken*) { throw std::runtime_error("boom"); },
         nullptr, true, 3, 0, 0);
  ASSERT_TRUE(WaitFor([&] { return !reported.isEmpty(); }));
  EXPECT_EQ(reported, QString("TKRConnector[FConnector.Name=\"Script\"] procedure WndProc; boom"));
}

}  // namespace
