// A connect that the peer leaves unanswered blocks for its time-out; with a wait hook set, the
// caller is called back in short slices meanwhile (the window repaints), and the outcome is the same.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <vector>

#include "modbus/KRTCPSocketClient.h"
#include "modbus/KRTypes.h"

namespace {

// A listener that is never accepted from, with its backlog filled, so that further connects
// get no answer at all.
struct TSilentListener {
  int Fd = -1;
  uint16_t Port = 0;
  std::vector<int> Fillers;
  TSilentListener() {
    Fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(Fd, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::listen(Fd, 0);
    socklen_t len = sizeof a;
    ::getsockname(Fd, reinterpret_cast<sockaddr*>(&a), &len);
    Port = ntohs(a.sin_port);
    for (int i = 0; i < 4; ++i) {
      const int f = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0);
      ::connect(f, reinterpret_cast<sockaddr*>(&a), sizeof a);
      Fillers.push_back(f);
    }
    ::usleep(50000);
  }
  ~TSilentListener() {
    for (int f : Fillers) ::close(f);
    ::close(Fd);
  }
};

}  // namespace

TEST(ConnectWait, HookRunsInSlicesAndTheConnectStillTimesOut) {
  TSilentListener listener;
  int calls = 0;
  KRSetBlockingWaitHook([&] { ++calls; });
  TKRTCPSocketClient client;
  client.SetAddr("127.0.0.1");
  client.SetPort(listener.Port);
  client.SetConnectTimeout(300);
  const uint32_t started = KRGetTickCount();
  client.Open();
  const uint32_t spent = KRTicksSince(started);
  KRSetBlockingWaitHook({});
  EXPECT_FALSE(client.Connected());
  EXPECT_GE(spent, 280u);
  EXPECT_LT(spent, 1000u);
  EXPECT_GE(calls, 8) << "about one call per 20 ms";
}
