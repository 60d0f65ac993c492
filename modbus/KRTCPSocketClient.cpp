#include "modbus/KRTCPSocketClient.h"

#include <QCoreApplication>
#include <QThread>

#include <algorithm>

#include "modbus/KRTypes.h"

TKRTCPSocketClient::TKRTCPSocketClient() {
  SetAF(2);
  SetPROTO(0);
}

void TKRTCPSocketClient::Open() {
  TKRSocket::Open();
  if (!Active() || Connected()) return;
  const int32_t result = KRSocketApi::Connect(FSocket, FAddr.toStdString(), FPort);
  const int32_t error = result == 0 ? 0 : KRSocketApi::LastError();
  fConnectFailure = KRSocketApi::cfNone;
  if (Check(result) == 0) {
    FConnected = true;
    return;
  }
  // Only a connect still in progress is worth the wait: one refused at once leaves a socket that
  // polls as writable with no pending error, and would pass for connected.
  if (!KRSocketApi::ConnectInProgress(error)) {
    fConnectFailure = KRSocketApi::ConnectFailureOf(error);
    TKRSocket::Close();
    return;
  }
  bool writable = false, except = false;
  // A refused connect also reads as writable: its pending error decides.
  if (WaitConnectable(writable, except) && writable && !except) {
    const int32_t pending = KRSocketApi::PendingError(FSocket);
    if (pending == 0) {
      FConnected = true;
      return;
    }
    fConnectFailure = KRSocketApi::ConnectFailureOf(pending);
  } else {
    fConnectFailure = KRSocketApi::cfTimedOut;
  }
  // A socket whose connect failed cannot be connected again.
  TKRSocket::Close();
}

// The connect wait, in slices when the program wants its window serviced while it waits.
bool TKRTCPSocketClient::WaitConnectable(bool& writable, bool& except) {
  const std::function<void()>& hook = KRBlockingWaitHook();
  QCoreApplication* app = QCoreApplication::instance();
  const bool guiThread = app && QThread::currentThread() == app->thread();
  if (!hook || !guiThread) return Select(FSocket, nullptr, &writable, &except, FConnectTimeout);
  constexpr int32_t kSliceMs = 20;
  const uint32_t started = KRGetTickCount();
  for (;;) {
    const int32_t left = FConnectTimeout - static_cast<int32_t>(KRTicksSince(started));
    if (left <= 0) return false;
    if (Select(FSocket, nullptr, &writable, &except, std::min(left, kSliceMs))) return true;
    hook();
  }
}

void TKRTCPSocketClient::GetLocalData() {
  FLocalAddr = QStringLiteral("0.0.0.0");
  FLocalPort = 0;
  std::string addr;
  uint16_t port = 0;
  if (Active() && Connected() && KRSocketApi::LocalAddress(FSocket, addr, port)) {
    FLocalAddr = QString::fromStdString(addr);
    FLocalPort = port;
  }
}
