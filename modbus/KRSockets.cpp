#include "modbus/KRSockets.h"

namespace {

std::atomic<uint32_t> gSocketSerial{0};

}  // namespace

TKRSocket::TKRSocket() : FID(++gSocketSerial) {}

TKRSocket::~TKRSocket() { TKRSocket::Close(); }

void TKRSocket::Open() {
  if (FActive) return;
  const KRSocketApi::THandle s = KRSocketApi::Create(FAF, FSType, FPROTO);
  if (s == KRSocketApi::kInvalid) {
    Check(-1);
    return;
  }
  FSocket = s;
  FActive = true;
  if (!KRSocketApi::SetNonBlocking(s)) Check(-1);
}

void TKRSocket::Close() {
  if (!FActive) return;
  KRSocketApi::Close(FSocket);
  FSocket = KRSocketApi::kInvalid;
  FActive = false;
}

int32_t TKRSocket::Check(int32_t AResult) {
  if (AResult == -1 && FOnError) FOnError(this, KRSocketApi::LastError());
  return AResult;
}

bool TKRSocket::Select(KRSocketApi::THandle ASocket, bool* ReadReady, bool* WriteReady,
                       bool* ExceptFlag, int32_t TimeOut) {
  try {
    return KRSocketApi::Select(ASocket, ReadReady, WriteReady, ExceptFlag, TimeOut);
  } catch (...) {
    return false;
  }
}

void TKRSocketClient::Close() {
  if (FConnected) {
    KRSocketApi::Shutdown(FSocket);
    FConnected = false;
  }
  TKRSocket::Close();
}

int32_t TKRSocketClient::SendBuf(const void* Buf, int32_t BufSize, int32_t Flags) {
  return Check(KRSocketApi::Send(FSocket, Buf, BufSize, Flags));
}

int32_t TKRSocketClient::ReceiveBuf(void* Buf, int32_t BufSize, int32_t Flags) {
  return Check(KRSocketApi::Recv(FSocket, Buf, BufSize, Flags));
}

int32_t TKRSocketClient::SendBufTo(const TKRInetAddr& AFrom, const void* Buf, int32_t BufSize,
                                   int32_t Flags) {
  return Check(KRSocketApi::SendTo(FSocket, AFrom.Addr, AFrom.Port, Buf, BufSize, Flags));
}

int32_t TKRSocketClient::ReceiveBufFrom(TKRInetAddr& AFrom, void* Buf, int32_t BufSize,
                                        int32_t Flags) {
  return Check(KRSocketApi::RecvFrom(FSocket, Buf, BufSize, Flags, AFrom.Addr, AFrom.Port));
}

bool TKRSocketClient::WaitForRead(int32_t ATimeOut) {
  bool readable = false, except = false;
  return Select(FSocket, &readable, nullptr, &except, ATimeOut) && readable && !except;
}

bool TKRSocketClient::WaitForWrite(int32_t ATimeOut) {
  bool writable = false, except = false;
  return Select(FSocket, nullptr, &writable, &except, ATimeOut) && writable && !except;
}

bool TKRSocketClient::WaitForData(int32_t ATimeOut) {
  return WaitForRead(ATimeOut) && KRSocketApi::PeekOne(FSocket) == 1;
}

bool TKRSocketClient::WaitForDataFrom(TKRInetAddr& AFrom, int32_t ATimeOut) {
  return WaitForRead(ATimeOut) && KRSocketApi::PeekOneFrom(FSocket, AFrom.Addr, AFrom.Port) == 1;
}

bool TKRSocketClient::IsReadBufferEmpty() { return KRSocketApi::PeekOne(FSocket) != 1; }

int32_t TKRSocketClient::PeekInput() { return KRSocketApi::PeekOne(FSocket); }
