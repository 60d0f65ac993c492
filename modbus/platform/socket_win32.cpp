#include "modbus/platform/SocketApi.h"

#include <winsock2.h>
#include <ws2tcpip.h>

#include <atomic>

namespace KRSocketApi {

namespace {

// Winsock is started once, on the first socket, and cleaned up when the process ends.
struct TWinsock {
  bool Ready = false;
  TWinsock() {
    WSADATA data;
    Ready = WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }
  ~TWinsock() {
    if (Ready) WSACleanup();
  }
};

bool StartWinsock() {
  static TWinsock winsock;
  return winsock.Ready;
}

SOCKET S(THandle h) { return static_cast<SOCKET>(h); }

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
    WSASetLastError(WSAEINVAL);
    return -1;
  }
  return ::connect(S(ASocket), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 ? 0 : -1;
}

std::atomic<TConnectFunction> gConnect{nullptr};

// True when a read would not wait; -1 when the socket is in error.
int ReadableNow(THandle ASocket) {
  fd_set r;
  FD_ZERO(&r);
  FD_SET(S(ASocket), &r);
  timeval zero{0, 0};
  const int n = ::select(0, &r, nullptr, nullptr, &zero);
  return n < 0 ? -1 : n;
}

}  // namespace

THandle Create(int32_t AF, int32_t AType, int32_t AProto) {
  if (!StartWinsock()) return kInvalid;
  const int domain = AF == 2 ? AF_INET : AF;
  const int type = AType == 1 ? SOCK_STREAM : AType;
  const SOCKET s = ::socket(domain, type, AProto);
  if (s == INVALID_SOCKET) return kInvalid;
  // Like close-on-exec: a program started later must not hold the connection open.
  SetHandleInformation(reinterpret_cast<HANDLE>(s), HANDLE_FLAG_INHERIT, 0);
  return static_cast<THandle>(s);
}

bool SetNonBlocking(THandle ASocket) {
  u_long on = 1;
  return ::ioctlsocket(S(ASocket), FIONBIO, &on) == 0;
}

int32_t Connect(THandle ASocket, const std::string& AAddr, uint16_t APort) {
  const TConnectFunction replaced = gConnect;
  return replaced ? replaced(ASocket, AAddr, APort) : PlatformConnect(ASocket, AAddr, APort);
}

// Winsock reports a non-blocking connect under way as "would block".
bool ConnectInProgress(int32_t AError) {
  return AError == WSAEWOULDBLOCK || AError == WSAEINPROGRESS;
}

bool WouldBlock(int32_t AError) { return AError == WSAEWOULDBLOCK; }

TConnectFailure ConnectFailureOf(int32_t AError) {
  switch (AError) {
    case 0: return cfNone;
    case WSAECONNREFUSED: return cfRefused;
    case WSAENETUNREACH:
    case WSAEHOSTUNREACH:
    case WSAENETDOWN:
    case WSAEHOSTDOWN: return cfUnreachable;
    case WSAETIMEDOUT: return cfTimedOut;
    default: return cfOther;
  }
}

void SetConnectFunction(TConnectFunction AConnect) { gConnect = AConnect; }

int32_t PendingError(THandle ASocket) {
  int err = 0;
  int len = sizeof err;
  if (::getsockopt(S(ASocket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0)
    return WSAGetLastError();
  return err;
}

bool Select(THandle ASocket, bool* AReadReady, bool* AWriteReady, bool* AExcept,
            int32_t ATimeoutMs) {
  fd_set r, w, e;
  FD_ZERO(&r);
  FD_ZERO(&w);
  FD_ZERO(&e);
  if (AReadReady) FD_SET(S(ASocket), &r);
  if (AWriteReady) FD_SET(S(ASocket), &w);
  // Winsock reports a failed connect in the exception set, not the write set.
  if (AWriteReady || AExcept) FD_SET(S(ASocket), &e);
  timeval t{ATimeoutMs / 1000, (ATimeoutMs % 1000) * 1000};
  const int n = ::select(0, AReadReady ? &r : nullptr, AWriteReady ? &w : nullptr, &e,
                         ATimeoutMs < 0 ? nullptr : &t);
  const bool exc = n > 0 && FD_ISSET(S(ASocket), &e);
  const bool connectFailed = exc && AWriteReady && PendingError(ASocket) != 0;
  if (AReadReady) *AReadReady = n > 0 && FD_ISSET(S(ASocket), &r);
  // As on other systems, a refused connect shows as writable: the pending error tells.
  if (AWriteReady) *AWriteReady = (n > 0 && FD_ISSET(S(ASocket), &w)) || connectFailed;
  if (AExcept) *AExcept = exc && !connectFailed;
  return n > 0;
}

int32_t Send(THandle ASocket, const void* ABuf, int32_t ASize, int32_t AFlags) {
  const int n = ::send(S(ASocket), static_cast<const char*>(ABuf), ASize, AFlags);
  return n == SOCKET_ERROR ? -1 : n;
}

int32_t Recv(THandle ASocket, void* ABuf, int32_t ASize, int32_t AFlags) {
  const int n = ::recv(S(ASocket), static_cast<char*>(ABuf), ASize, AFlags);
  return n == SOCKET_ERROR ? -1 : n;
}

// Winsock has no "don't wait" flag: the waiting count, then a zero-time select, keep the peek
// from blocking a blocking socket.
int32_t PeekOne(THandle ASocket) {
  u_long waiting = 0;
  if (::ioctlsocket(S(ASocket), FIONREAD, &waiting) == 0 && waiting > 0) return 1;
  const int readable = ReadableNow(ASocket);
  if (readable <= 0) {
    if (readable == 0) WSASetLastError(WSAEWOULDBLOCK);
    return -1;
  }
  char c;
  const int n = ::recv(S(ASocket), &c, 1, MSG_PEEK);  // 0: the peer has closed
  return n == SOCKET_ERROR ? -1 : n;
}

int32_t SendTo(THandle ASocket, const std::string& AAddr, uint16_t APort, const void* ABuf,
               int32_t ASize, int32_t AFlags) {
  sockaddr_in a;
  if (!ToAddress(AAddr, APort, a)) {
    WSASetLastError(WSAEINVAL);
    return -1;
  }
  const int n = ::sendto(S(ASocket), static_cast<const char*>(ABuf), ASize, AFlags,
                         reinterpret_cast<sockaddr*>(&a), sizeof a);
  return n == SOCKET_ERROR ? -1 : n;
}

int32_t RecvFrom(THandle ASocket, void* ABuf, int32_t ASize, int32_t AFlags, std::string& AAddr,
                 uint16_t& APort) {
  sockaddr_in a{};
  int len = sizeof a;
  const int n = ::recvfrom(S(ASocket), static_cast<char*>(ABuf), ASize, AFlags,
                           reinterpret_cast<sockaddr*>(&a), &len);
  // A datagram longer than the buffer is truncated, as elsewhere, not an error.
  if (n == SOCKET_ERROR && WSAGetLastError() != WSAEMSGSIZE) return -1;
  FromAddress(a, AAddr, APort);
  return n == SOCKET_ERROR ? ASize : n;
}

int32_t PeekOneFrom(THandle ASocket, std::string& AAddr, uint16_t& APort) {
  const int readable = ReadableNow(ASocket);
  if (readable <= 0) {
    if (readable == 0) WSASetLastError(WSAEWOULDBLOCK);
    return -1;
  }
  char c;
  return RecvFrom(ASocket, &c, 1, MSG_PEEK, AAddr, APort);
}

void Shutdown(THandle ASocket) { ::shutdown(S(ASocket), SD_BOTH); }

void Close(THandle ASocket) { ::closesocket(S(ASocket)); }

bool LocalAddress(THandle ASocket, std::string& AAddr, uint16_t& APort) {
  sockaddr_in a{};
  int len = sizeof a;
  if (::getsockname(S(ASocket), reinterpret_cast<sockaddr*>(&a), &len) != 0 ||
      a.sin_family != AF_INET)
    return false;
  FromAddress(a, AAddr, APort);
  return true;
}

int32_t LastError() { return WSAGetLastError(); }

}  // namespace KRSocketApi
