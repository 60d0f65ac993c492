#include "modbus/KRTCPSocketClient.h"

TKRTCPSocketClient::TKRTCPSocketClient() {
  SetAF(2);
  SetPROTO(0);
}

void TKRTCPSocketClient::Open() {
  TKRSocket::Open();
  if (!Active() || Connected()) return;
  if (Check(KRSocketApi::Connect(FSocket, FAddr.toStdString(), FPort)) == 0) {
    FConnected = true;
    return;
  }
  bool writable = false, except = false;
  // A refused connect also reads as writable: its pending error decides.
  if (Select(FSocket, nullptr, &writable, &except, FConnectTimeout) && writable && !except &&
      KRSocketApi::PendingError(FSocket) == 0) {
    FConnected = true;
    return;
  }
  // A socket whose connect failed cannot be connected again.
  TKRSocket::Close();
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
