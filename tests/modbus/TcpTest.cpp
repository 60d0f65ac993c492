#include <gtest/gtest.h>

#include <QCoreApplication>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <utility>
#include <vector>

#include "bench/modbus/ModbusPeers.h"
#include "modbus/KRModbus.h"
#include "tests/modbus/Exchange.h"
#include "modbus/KRTCPConnector.h"

namespace {

using Clock = std::chrono::steady_clock;
using Bytes = std::vector<uint8_t>;


// Sends a TCP-framed request and decodes the answer; transport failures come back as 1000 + code.
int32_t Exchange(TKRConnector& c, TMBPack req, TMBAnswer& out, Bytes* raw = nullptr) {
  req.MBType = mbtTCP;
  req.Addres = 1;
  TKRBuffer frame{};
  uint16_t rlen = 0;
  const uint8_t len = KRBuildFrame(req, frame, rlen);
  Result r;
  SendFrame(c, frame, len, rlen, r);
  if (!Await(r)) return -1000;
  if (raw) *raw = r.Answer;
  if (r.Error) return 1000 + r.Error;
  return KRCheckAnswer(req, false, r.Answer.data(), int32_t(r.Answer.size()), out);
}

TMBPack Read(uint16_t start, uint16_t count) {
  TMBPack p;
  p.MBFunc = 3;
  p.Start = start;
  p.Count = count;
  return p;
}

class TcpLink : public ::testing::Test {
 protected:
  TTcpModbusServer server;
  TKRTCPConnector c;
  std::vector<TKRConnectorStat> seen;
  void SetUp() override {
    for (int i = 0; i < 100; ++i) server.SetRegister(i, uint16_t(2000 + i));
    c.SetName("TCPConnector");
    c.SetIP("127.0.0.1");
    c.SetPort(server.Port());
    c.SetReadTimeout(400);
    c.SetWriteTimeout(400);
    c.SetOnConnectionStatus([this](TKRConnector*, TKRConnectorStat s, uint32_t) { seen.push_back(s); });
  }
  void TearDown() override { c.SetActive(false); }
};

TEST_F(TcpLink, ReadsAndWritesHoldingRegisters) {
  c.SetActive(true);
  ASSERT_TRUE(c.Connected());
  TMBAnswer a;
  ASSERT_EQ(Exchange(c, Read(0, 10), a), 0);
  ASSERT_EQ(a.Registers.size(), 10u);
  EXPECT_EQ(a.Registers[9], 2009);

  TMBPack w;
  w.MBFunc = 16;
  w.Start = 30;
  w.Data = {11, 12};
  ASSERT_EQ(Exchange(c, w, a), 0);
  EXPECT_EQ(server.Register(31), 12);
  TMBPack one;
  one.MBFunc = 6;
  one.Start = 3;
  one.Data = {77};
  ASSERT_EQ(Exchange(c, one, a), 0);
  EXPECT_EQ(server.Register(3), 77);

  c.TCPClient().GetLocalData();
  EXPECT_EQ(c.TCPClient().LocalAddr(), QString("127.0.0.1"));
  EXPECT_NE(c.TCPClient().LocalPort(), 0);
}

TEST_F(TcpLink, ShortExceptionAnswerEndsAtOnce) {
  c.SetReadTimeout(1000);
  c.SetActive(true);
  TMBAnswer a;
  const auto t0 = Clock::now();
  EXPECT_EQ(Exchange(c, Read(95, 10), a), 2);  // expects 29 bytes, gets 9
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(500));
}

TEST_F(TcpLink, NoAnswerAndLateAnswer) {
  c.SetActive(true);
  c.SetCountErrorsForReconnect(0);
  server.Mute = true;
  TMBAnswer a;
  const auto t0 = Clock::now();
  EXPECT_EQ(Exchange(c, Read(0, 1), a), 1006);
  EXPECT_GE(Clock::now() - t0, std::chrono::milliseconds(400));
  server.Mute = false;

  server.DelayMs = 500;
  EXPECT_EQ(Exchange(c, Read(0, 2), a), 1006);
  server.DelayMs = 0;
  const int replied = server.Replies;
  const auto until = Clock::now() + std::chrono::seconds(3);
  while (server.Replies == replied && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the late answer is waiting
  Bytes raw;
  ASSERT_EQ(Exchange(c, Read(40, 2), a, &raw), 0);
  EXPECT_EQ(a.Registers, (TKRRegisters{2040, 2041}));
  EXPECT_EQ(raw.size(), 13u);
}

// An answer that comes after its exchange gave up carries its own transaction number: it is
// dropped, and the request waiting behind it gets its own answer.
TEST_F(TcpLink, ALateAnswerToAnEarlierRequestIsDroppedWhileTheNextOneWaits) {
  c.SetActive(true);
  server.DelayMs = 550;  // the read time-out is 400
  TMBPack first = Read(0, 2), second = Read(10, 2);
  first.MBType = second.MBType = mbtTCP;
  first.Addres = second.Addres = 1;
  first.id = 1;
  second.id = 2;
  TKRBuffer f1{}, f2{};
  uint16_t rlen = 0;
  const uint8_t len1 = KRBuildFrame(first, f1, rlen);
  const uint8_t len2 = KRBuildFrame(second, f2, rlen);
  f1[0] = first.id;
  f2[0] = second.id;
  Result late, next;
  SendFrame(c, f1, len1, rlen, late);
  SendFrame(c, f2, len2, rlen, next);
  const auto until = Clock::now() + std::chrono::seconds(3);
  while (server.Requests < 1 && Clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  server.DelayMs = 0;  // only the first answer is late
  ASSERT_TRUE(Await(late));
  EXPECT_EQ(late.Error, 6);
  ASSERT_TRUE(Await(next));
  ASSERT_EQ(next.Error, 0);
  TMBAnswer a;
  ASSERT_EQ(KRCheckAnswer(second, true, next.Answer.data(), int32_t(next.Answer.size()), a), 0);
  EXPECT_EQ(a.Registers, (TKRRegisters{2010, 2011}));
}

TEST_F(TcpLink, NothingListeningFailsFastAndRetriesOnANewSocket) {
  const uint16_t port = server.Port();
  c.SetPort(1);  // privileged and unused: refused at once
  c.SetConnectTimeout(3000);
  const auto t0 = Clock::now();
  c.SetActive(true);
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000));
  EXPECT_FALSE(c.Connected());
  EXPECT_EQ(c.TCPClient().ConnectFailure(), KRSocketApi::cfRefused);
  TMBAnswer a;
  EXPECT_EQ(Exchange(c, Read(0, 1), a), 1002);
  QCoreApplication::processEvents();
  EXPECT_EQ(seen, (std::vector<TKRConnectorStat>{cstDisconnected, cstConnecting,
                                                 cstWaitReconnecting}));
  // The server appears; after ReconnectTime the next pack connects.
  c.SetReconnectTime(20);
  c.SetPort(port);
  std::this_thread::sleep_for(std::chrono::milliseconds(30));
  EXPECT_EQ(Exchange(c, Read(0, 1), a), 0);
  EXPECT_TRUE(c.Connected());
}

// A connect to another network that fails at once: unreachable, forbidden or not an address.
// Played by the socket seam, so nothing is ever sent beyond loopback.
std::atomic<int> gConnectErrno{0};
int32_t FailingConnect(KRSocketApi::THandle, const std::string&, uint16_t) {
  errno = gConnectErrno;
  return -1;
}

TEST_F(TcpLink, AConnectRefusedAtOnceIsNeverReportedAsConnected) {
  KRSocketApi::SetConnectFunction(FailingConnect);
  for (const auto& [e, why] : {std::pair{ENETUNREACH, KRSocketApi::cfUnreachable},
                              std::pair{EHOSTUNREACH, KRSocketApi::cfUnreachable},
                              std::pair{EACCES, KRSocketApi::cfOther}, std::pair{EINVAL, KRSocketApi::cfOther}}) {
    gConnectErrno = e;
    seen.clear();
    c.SetConnectTimeout(3000);
    const auto t0 = Clock::now();
    c.SetActive(true);
    EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(1000)) << e;
    EXPECT_FALSE(c.Connected()) << e;
    EXPECT_EQ(c.TCPClient().ConnectFailure(), why) << e;
    TMBAnswer a;
    EXPECT_EQ(Exchange(c, Read(0, 1), a), 1002) << e;
    QCoreApplication::processEvents();
    EXPECT_EQ(seen, (std::vector<TKRConnectorStat>{cstDisconnected, cstConnecting,
                                                   cstWaitReconnecting}))
        << e;
    c.SetActive(false);
  }
  KRSocketApi::SetConnectFunction(nullptr);
}

// A loopback peer of the test's own, for what a regular server never does.
class RawServer {
 public:
  std::function<void(int fd)> Serve;
  RawServer() {
    fListen = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bind(fListen, reinterpret_cast<sockaddr*>(&a), sizeof a);
    listen(fListen, 4);
    socklen_t len = sizeof a;
    getsockname(fListen, reinterpret_cast<sockaddr*>(&a), &len);
    fPort = ntohs(a.sin_port);
  }
  void Start() {
    fThread = std::thread([this] {
      while (!fStop) {
        pollfd p{fListen, POLLIN, 0};
        if (poll(&p, 1, 20) != 1) continue;
        const int fd = accept(fListen, nullptr, nullptr);
        int one = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
        Serve(fd);
        close(fd);
      }
    });
  }
  ~RawServer() {
    fStop = true;
    if (fThread.joinable()) fThread.join();
    close(fListen);
  }
  uint16_t Port() const { return fPort; }
  static int ReadRequest(int fd, uint8_t* buf) {
    pollfd p{fd, POLLIN, 0};
    if (poll(&p, 1, 2000) != 1) return 0;
    return int(recv(fd, buf, 260, 0));
  }

 private:
  int fListen;
  uint16_t fPort;
  std::atomic<bool> fStop{false};
  std::thread fThread;
};

TEST(TcpTransport, AnswerInTwoSegmentsIsJoined) {
  RawServer peer;
  peer.Serve = [](int fd) {
    uint8_t req[260];
    while (RawServer::ReadRequest(fd, req) > 0) {
      const uint8_t answer[] = {req[0], 0, 0, 0, 0, 7, 1, 3, 4, 0x12, 0x34, 0x56, 0x78};
      send(fd, answer, 5, 0);
      std::this_thread::sleep_for(std::chrono::milliseconds(30));
      send(fd, answer + 5, sizeof answer - 5, 0);
    }
  };
  peer.Start();
  TKRTCPConnector c;
  c.SetIP("127.0.0.1");
  c.SetPort(peer.Port());
  c.SetReadTimeout(1000);
  c.SetActive(true);
  TMBAnswer a;
  EXPECT_EQ(Exchange(c, Read(0, 2), a), 0);
  EXPECT_EQ(a.Registers, (TKRRegisters{0x1234, 0x5678}));
  c.SetActive(false);
}

TEST(TcpTransport, PeerClosingGivesCodeFourAndTheThirdClosesTheSocket) {
  RawServer peer;
  peer.Serve = [](int fd) {
    uint8_t req[260];
    RawServer::ReadRequest(fd, req);  // and hang up without an answer
  };
  peer.Start();
  TKRTCPConnector c;
  std::vector<TKRConnectorStat> seen;
  c.SetOnConnectionStatus([&](TKRConnector*, TKRConnectorStat s, uint32_t) { seen.push_back(s); });
  c.SetIP("127.0.0.1");
  c.SetPort(peer.Port());
  c.SetReconnectTime(0);
  c.SetActive(true);
  TMBAnswer a;
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(Exchange(c, Read(0, 1), a), 1004) << i;
    if (i < 2) {
      // The client does not notice the hang-up by itself: reconnect by hand for the next try.
      EXPECT_TRUE(c.Connected());
      c.TCPClient().Close();
      c.TCPClient().Open();
    }
  }
  EXPECT_FALSE(c.Connected());
  QCoreApplication::processEvents();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), cstDisconnected);
  c.SetOnConnectionStatus(nullptr);
  c.SetActive(false);
}

// A peer that answers and then never stops sending: the stale input before the next request
// is bounded, the link counts as failed, and Disconnect does not hang on it.
TEST(TcpTransport, APeerThatFloodsIsAFailedLinkAndStopsNothing) {
  RawServer peer;
  std::atomic<bool> flooding{true};
  peer.Serve = [&](int fd) {
    uint8_t req[260];
    if (RawServer::ReadRequest(fd, req) <= 0) return;
    const uint8_t answer[] = {req[0], 0, 0, 0, 0, 5, 1, 3, 2, 0x12, 0x34};
    send(fd, answer, sizeof answer, 0);
    const std::vector<uint8_t> junk(512, 0x55);
    while (flooding && send(fd, junk.data(), junk.size(), MSG_NOSIGNAL) > 0) {
    }
  };
  peer.Start();
  TKRTCPConnector c;
  std::vector<TKRConnectorStat> seen;
  c.SetOnConnectionStatus([&](TKRConnector*, TKRConnectorStat s, uint32_t) { seen.push_back(s); });
  c.SetIP("127.0.0.1");
  c.SetPort(peer.Port());
  c.SetActive(true);
  TMBAnswer a;
  ASSERT_EQ(Exchange(c, Read(0, 1), a), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));  // the flood is under way
  auto t0 = Clock::now();
  EXPECT_EQ(Exchange(c, Read(0, 1), a), 1004);
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(500));
  EXPECT_FALSE(c.Connected());
  QCoreApplication::processEvents();
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), cstDisconnected);
  t0 = Clock::now();
  c.SetActive(false);
  EXPECT_LT(Clock::now() - t0, std::chrono::milliseconds(200));
  flooding = false;
}

TEST(TcpTransport, DefaultsAndUnconnectedClient) {
  TKRTCPConnector c;
  EXPECT_EQ(c.Port(), 502);
  EXPECT_EQ(c.IP(), QString("192.168.0.1"));
  EXPECT_EQ(c.ReadTimeout(), 500u);
  EXPECT_EQ(c.WriteTimeout(), 500u);
  EXPECT_EQ(c.ConnectTimeout(), 3000u);
  c.SetReadTimeout(5);  // the link's own limit takes any value
  EXPECT_EQ(c.ReadTimeout(), 5u);
  EXPECT_EQ(c.ConnectorType(), ctTCPClient);
  TKRTCPSocketClient client;
  client.GetLocalData();
  EXPECT_EQ(client.LocalAddr(), QString("0.0.0.0"));
  EXPECT_EQ(client.LocalPort(), 0);
  EXPECT_EQ(client.Addr(), QString("0.0.0.0"));
  EXPECT_EQ(client.ConnectTimeout(), 1000);
  TKRTCPSocketClient other;
  EXPECT_GT(other.ID(), client.ID());
}

// The datagram side of the client, and the error event of failing calls.
TEST(SocketClient, DatagramsAndErrorEvents) {
  const int peer = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(peer, reinterpret_cast<sockaddr*>(&a), sizeof a);
  socklen_t len = sizeof a;
  getsockname(peer, reinterpret_cast<sockaddr*>(&a), &len);

  TKRSocketClient client;
  client.SetAF(2);
  client.SetSocketType(2);  // datagram
  std::vector<int32_t> errors;
  client.SetOnError([&](void*, int32_t e) { errors.push_back(e); });
  client.Open();
  ASSERT_TRUE(client.Active());
  const TKRInetAddr to{"127.0.0.1", ntohs(a.sin_port)};
  ASSERT_EQ(client.SendBufTo(to, "ping", 4), 4);

  char buf[16];
  sockaddr_in from{};
  socklen_t fromLen = sizeof from;
  ASSERT_EQ(recvfrom(peer, buf, sizeof buf, 0, reinterpret_cast<sockaddr*>(&from), &fromLen), 4);
  sendto(peer, "pong!", 5, 0, reinterpret_cast<sockaddr*>(&from), fromLen);

  TKRInetAddr sender;
  ASSERT_TRUE(client.WaitForDataFrom(sender, 1000));
  EXPECT_EQ(sender.Port, to.Port);
  TKRInetAddr got;
  EXPECT_EQ(client.ReceiveBufFrom(got, buf, sizeof buf), 5);
  EXPECT_EQ(std::string(buf, 5), "pong!");
  EXPECT_EQ(got.Addr, "127.0.0.1");
  EXPECT_TRUE(client.IsReadBufferEmpty());
  EXPECT_TRUE(errors.empty());

  EXPECT_EQ(client.ReceiveBuf(buf, sizeof buf), -1);  // nothing waiting on a non-blocking socket
  ASSERT_EQ(errors.size(), 1u);
  EXPECT_EQ(errors[0], EAGAIN);
  close(peer);
}

}  // namespace
