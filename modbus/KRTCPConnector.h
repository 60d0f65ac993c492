#pragma once
// The connector for Modbus TCP, and its worker: one send and one answer per pack, stale input
// dropped before each send.

#include "modbus/KRConnector.h"
#include "modbus/KRTCPSocketClient.h"

#include <atomic>
#include <memory>
#include <mutex>

class TKRTCPConnector : public TKRConnector {
 public:
  explicit TKRTCPConnector(QObject* AOwner = nullptr);
  ~TKRTCPConnector() override;

  uint16_t Port() const { return FPort; }
  void SetPort(uint16_t Value) { FPort = Value; }
  QString IP() const;
  void SetIP(const QString& Value);
  // The TCP link's own limits, any value, used from the next exchange on: waiting for the
  // answer, for the socket to take the request, and for a connection.
  uint32_t ReadTimeout() const { return FReadTimeout; }
  void SetReadTimeout(uint32_t Value) { FReadTimeout = Value; }
  uint32_t WriteTimeout() const { return FWriteTimeout; }
  void SetWriteTimeout(uint32_t Value) { FWriteTimeout = Value; }
  uint32_t ConnectTimeout() const { return FConnectTimeout; }
  void SetConnectTimeout(uint32_t Value) { FConnectTimeout = Value; }

  TKRTCPSocketClient& TCPClient() { return *FTCPClient; }

  // Activation connects here, blocking for up to ConnectTimeout; deactivation stops the worker,
  // closes the socket and prepares a fresh worker.
  void SetActive(bool Value) override;
  bool GetConnected() const override { return FTCPClient->Connected(); }

 protected:
  std::unique_ptr<TKRConnectorThread> CreateThread() override;

 private:
  std::unique_ptr<TKRTCPSocketClient> FTCPClient;
  std::atomic<uint16_t> FPort{502};
  mutable std::mutex fIPMutex;  // the worker copies it on reconnection
  QString FIP = QStringLiteral("192.168.0.1");
  std::atomic<uint32_t> FReadTimeout{500};
  std::atomic<uint32_t> FWriteTimeout{500};
  std::atomic<uint32_t> FConnectTimeout{3000};
};

class TKRTCPThread : public TKRConnectorThread {
 public:
  TKRTCPThread(TKRTCPConnector& AConnector, TKRTCPSocketClient& ATCPClient,
               TKRThreadQueue2& AQueue);
  ~TKRTCPThread() override;

 protected:
  // False also for a connection the peer has closed (a bridge that drops idle clients): it is
  // closed here and connected again at once, before the request goes out.
  bool LinkUp() override;
  void OpenLink() override;
  QString OpenFailureText() const override;
  void CloseLink() override { FTCPClient.Close(); }
  bool DiscardInput() override;
  void Transmit(TKRConnectorPack& APack) override;
  int32_t Receive(TKRConnectorPack& APack, uint32_t AStarted) override;

 private:
  // One wait for the answer; kPeerGone when the peer closed before any byte came.
  int32_t ReceiveAnswer(TKRConnectorPack& APack);
  // Sends APack; 0 or the failure code.
  int32_t SendRequest(TKRConnectorPack& APack);

  TKRTCPConnector& fTCPConnector;
  TKRTCPSocketClient& FTCPClient;
  int32_t fPeeked = -1;  // what the link check's peek found (TKRSocketClient::PeekInput)
};
