#pragma once
// An IPv4 stream connection with a bounded connect.

#include "modbus/KRSockets.h"

#include <QString>

#include <atomic>
#include <cstdint>

class TKRTCPSocketClient : public TKRSocketClient {
 public:
  TKRTCPSocketClient();

  // Creates the socket if needed and connects to Addr:Port within ConnectTimeout. A failed
  // attempt closes the socket, so that the next one starts on a fresh socket.
  void Open() override;
  // Creates the socket (non-blocking) without connecting.
  void Activate() { TKRSocket::Open(); }
  // LocalAddr and LocalPort of the connection; "0.0.0.0" and 0 when there is none.
  void GetLocalData();

  uint16_t Port() const { return FPort; }
  void SetPort(uint16_t Value) { FPort = Value; }
  const QString& Addr() const { return FAddr; }
  void SetAddr(const QString& Value) { FAddr = Value; }
  uint16_t LocalPort() const { return FLocalPort; }
  const QString& LocalAddr() const { return FLocalAddr; }
  int32_t ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(int32_t Value) { FConnectTimeout = Value; }
  // Why the last connect failed; cfNone after a connect that succeeded.
  KRSocketApi::TConnectFailure ConnectFailure() const { return fConnectFailure; }

 private:
  bool WaitConnectable(bool& writable, bool& except);

  uint16_t FPort = 0;
  QString FAddr = QStringLiteral("0.0.0.0");
  uint16_t FLocalPort = 0;
  QString FLocalAddr;
  int32_t FConnectTimeout = 1000;
  std::atomic<KRSocketApi::TConnectFailure> fConnectFailure{KRSocketApi::cfNone};
};
