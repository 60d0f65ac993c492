#include "modbus/platform/SocketApi.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

namespace KRSocketApi {

namespace {

bool ToAddress(const std::string& AAddr, uint16_t APort, sockaddr_in& a) {
  a = sockaddr_in{};
  a.sin_family = AF_INET;
  a.sin_port = htons(APort);
  return ::inet_pton(AF_INET, AAddr.c_str(), &a.sin_addr) == 1;
}

void FromAddress(const sockaddr_in& a, std::string& AAddr, uint16_t& APort) {
  char text[INET_ADDRSTRLEN] = "0.0.0.0";
  ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
  AAddr = text;
  APort = ntohs(a.sin_port);
}

int32_t PlatformConnect(THandle ASocket, const std::string& AAddr, uint16_t APort) {
  sockaddr_in a;
  if (!ToAddress(AAddr, APort, a)) {
    errno = EINVAL;
    return -1;
  }
  return ::connect(static_cast<int>(ASocket), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0
                                                                                                : -1;
}

std::atomic<TConnectFunction> gConnect{nullptr};

}  // namespace

THandle Create(int32_t AF, int32_t AType, int32_t AProto) {
  const int domain = AF == 2 ? AF_INET : AF;
  const int type = AType == 1 ? SOCK_STREAM : AType;
  const int fd = ::socket(domain, type | SOCK_CLOEXEC, AProto);
  return fd < 0 ? kInvalid : fd;
}

bool SetNonBlocking(THandle ASocket) {
  const int flags = ::fcntl(static_cast<int>(ASocket), F_GETFL);
  return flags >= 0 && ::fcntl(static_cast<int>(ASocket), F_SETFL, flags | O_NONBLOCK) == 0;
}

int32_t Connect(THandle ASocket, const std::string& AAddr, uint16_t APort) {
  const TConnectFunction replaced = gConnect;
  return replaced ? replaced(ASocket, AAddr, APort) : PlatformConnect(ASocket, AAddr, APort);
}

bool ConnectInProgress(int32_t AError) { return AError == EINPROGRESS; }

bool WouldBlock(int32_t AError) { return AError == EAGAIN || AError == EWOULDBLOCK; }

TConnectFailure ConnectFailureOf(int32_t AError) {
  switch (AError) {
    case 0: return cfNone;
    case ECONNREFUSED: return cfRefused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN: return cfUnreachable;
    case ETIMEDOUT: return cfTimedOut;
    default: return cfOther;
  }
}

void SetConnectFunction(TConnectFunction AConnect) { gConnect = AConnect; }

int32_t PendingError(THandle ASocket) {
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(static_cast<int>(ASocket), SOL_SOCKET, SO_ERROR, &err, &len) != 0) return errno;
  return err;
}

bool Select(THandle ASocket, bool* AReadReady, bool* AWriteReady, bool* AExcept,
            int32_t ATimeoutMs) {
  pollfd p{static_cast<int>(ASocket), 0, 0};
  if (AReadReady) p.events |= POLLIN;
  if (AWriteReady) p.events |= POLLOUT;
  if (AExcept) p.events |= POLLPRI;
  int r;
  do {
    r = ::poll(&p, 1, ATimeoutMs < 0 ? -1 : ATimeoutMs);
  } while (r < 0 && errno == EINTR);
  // Like the classic select, a closed or failed socket reads as readable and writable: the
  // receive or the pending error tells what happened.
  const bool failed = p.revents & (POLLERR | POLLHUP);
  if (AReadReady) *AReadReady = r > 0 && ((p.revents & POLLIN) || failed);
  if (AWriteReady) *AWriteReady = r > 0 && ((p.revents & POLLOUT) || failed);
  if (AExcept) *AExcept = r > 0 && (p.revents & POLLPRI);
  return r > 0;
}

int32_t Send(THandle ASocket, const void* ABuf, int32_t ASize, int32_t AFlags) {
  // A peer that has gone must give an error, not a SIGPIPE.
  const ssize_t n =
      ::send(static_cast<int>(ASocket), ABuf, static_cast<size_t>(ASize), AFlags | MSG_NOSIGNAL);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

int32_t Recv(THandle ASocket, void* ABuf, int32_t ASize, int32_t AFlags) {
  const ssize_t n = ::recv(static_cast<int>(ASocket), ABuf, static_cast<size_t>(ASize), AFlags);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

int32_t PeekOne(THandle ASocket) {
  char c;
  const ssize_t n = ::recv(static_cast<int>(ASocket), &c, 1, MSG_PEEK | MSG_DONTWAIT);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

int32_t SendTo(THandle ASocket, const std::string& AAddr, uint16_t APort, const void* ABuf,
               int32_t ASize, int32_t AFlags) {
  sockaddr_in a;
  if (!ToAddress(AAddr, APort, a)) {
    errno = EINVAL;
    return -1;
  }
  const ssize_t n = ::sendto(static_cast<int>(ASocket), ABuf, static_cast<size_t>(ASize),
                             AFlags | MSG_NOSIGNAL, reinterpret_cast<sockaddr*>(&a), sizeof a);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

int32_t RecvFrom(THandle ASocket, void* ABuf, int32_t ASize, int32_t AFlags, std::string& AAddr,
                 uint16_t& APort) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  const ssize_t n = ::recvfrom(static_cast<int>(ASocket), ABuf, static_cast<size_t>(ASize), AFlags,
                               reinterpret_cast<sockaddr*>(&a), &len);
  if (n < 0) return -1;
  FromAddress(a, AAddr, APort);
  return static_cast<int32_t>(n);
}

int32_t PeekOneFrom(THandle ASocket, std::string& AAddr, uint16_t& APort) {
  char c;
  return RecvFrom(ASocket, &c, 1, MSG_PEEK | MSG_DONTWAIT, AAddr, APort);
}

void Shutdown(THandle ASocket) { ::shutdown(static_cast<int>(ASocket), SHUT_RDWR); }

void Close(THandle ASocket) { ::close(static_cast<int>(ASocket)); }

bool LocalAddress(THandle ASocket, std::string& AAddr, uint16_t& APort) {
  sockaddr_in a{};
  socklen_t len = sizeof a;
  if (::getsockname(static_cast<int>(ASocket), reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
      a.sin_family != AF_INET)
    return false;
  FromAddress(a, AAddr, APort);
  return true;
}

int32_t LastError() { return errno; }

}  // namespace KRSocketApi
