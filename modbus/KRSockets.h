#pragma once
// A thin non-blocking socket, and a client that sends, receives and waits with time-outs.

#include "modbus/platform/SocketApi.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

// An IPv4 socket address: dotted decimal and port.
struct TKRInetAddr {
  std::string Addr = "0.0.0.0";
  uint16_t Port = 0;
};

// Raised on every failed socket call with the platform's error code.
using TSocketErrorEvent = std::function<void(void* Sender, int32_t SocketError)>;

class TKRSocket {
 public:
  TKRSocket();
  virtual ~TKRSocket();
  TKRSocket(const TKRSocket&) = delete;
  TKRSocket& operator=(const TKRSocket&) = delete;

  // Creates the socket, non-blocking, unless it exists.
  virtual void Open();
  virtual void Close();

  bool Active() const { return FActive; }
  uint32_t ID() const { return FID; }
  int32_t AF() const { return FAF; }
  void SetAF(int32_t Value) { FAF = Value; }
  int32_t PROTO() const { return FPROTO; }
  void SetPROTO(int32_t Value) { FPROTO = Value; }
  int32_t SocketType() const { return FSType; }
  void SetSocketType(int32_t Value) { FSType = Value; }
  KRSocketApi::THandle Handle() const { return FSocket; }
  const TSocketErrorEvent& OnError() const { return FOnError; }
  void SetOnError(TSocketErrorEvent Value) { FOnError = std::move(Value); }

  // Waits for the flags given (null: not asked); true if any condition came before TimeOut ms
  // (negative: no limit). Each given flag receives whether its condition holds.
  static bool Select(KRSocketApi::THandle ASocket, bool* ReadReady, bool* WriteReady,
                     bool* ExceptFlag, int32_t TimeOut);

 protected:
  // Passes a socket call's result on, raising OnError when it is -1.
  int32_t Check(int32_t AResult);

  std::atomic<bool> FActive{false};
  TSocketErrorEvent FOnError;
  uint32_t FID;
  int32_t FAF = 0;
  int32_t FPROTO = 0;
  std::atomic<KRSocketApi::THandle> FSocket{KRSocketApi::kInvalid};
  int32_t FSType = 1;
};

class TKRSocketClient : public TKRSocket {
 public:
  bool Connected() const { return FConnected; }
  // Shuts a connection down in both directions, then closes the socket.
  void Close() override;

  int32_t SendBuf(const void* Buf, int32_t BufSize, int32_t Flags = 0);
  int32_t SendBufTo(const TKRInetAddr& AFrom, const void* Buf, int32_t BufSize, int32_t Flags = 0);
  // Bytes received, 0 when the peer closed, -1 on error.
  int32_t ReceiveBuf(void* Buf, int32_t BufSize, int32_t Flags = 0);
  // As ReceiveBuf; AFrom receives the sender's address.
  int32_t ReceiveBufFrom(TKRInetAddr& AFrom, void* Buf, int32_t BufSize, int32_t Flags = 0);
  // Readable (or writable) without an exceptional state within ATimeOut ms.
  bool WaitForRead(int32_t ATimeOut);
  bool WaitForWrite(int32_t ATimeOut);
  // As WaitForRead, and a byte is really there.
  bool WaitForData(int32_t ATimeOut);
  // As WaitForData; AFrom receives the address of the waiting datagram's sender.
  bool WaitForDataFrom(TKRInetAddr& AFrom, int32_t ATimeOut);
  bool IsReadBufferEmpty();
  // What a one-byte peek finds, without waiting: 1 input waiting, 0 the peer has ended the
  // connection, -1 nothing yet (or an error).
  int32_t PeekInput();

 protected:
  std::atomic<bool> FConnected{false};
};
