#include "modbus/KRTCPConnector.h"

#include <algorithm>

namespace {

constexpr int32_t kOpenAnswer = 1024;
constexpr int32_t kHeader = 6;
constexpr int32_t kStaleInputLimit = 16 * 1024;  // bytes
constexpr uint32_t kStaleInputTimeMs = 50;  // transaction, protocol, length; the length counts what follows

// An answer is whole when its header's length has arrived, or the expected length.
bool AnswerComplete(const TKRBuffer& buf, int32_t received, int32_t rlen) {
  if (rlen > 0 && received >= rlen) return true;
  if (received < kHeader) return false;
  return received >= kHeader + (buf[4] << 8 | buf[5]);
}

}  // namespace

TKRTCPConnector::TKRTCPConnector(QObject* AOwner)
    : TKRConnector(AOwner), FTCPClient(std::make_unique<TKRTCPSocketClient>()) {
  SetConnectorType(ctTCPClient);
  RestartThread();
}

TKRTCPConnector::~TKRTCPConnector() {
  Shutdown();
  FTCPClient->Close();
}

QString TKRTCPConnector::IP() const {
  std::lock_guard lock(fIPMutex);
  return FIP;
}

void TKRTCPConnector::SetIP(const QString& Value) {
  std::lock_guard lock(fIPMutex);
  FIP = Value;
}

std::unique_ptr<TKRConnectorThread> TKRTCPConnector::CreateThread() {
  return std::make_unique<TKRTCPThread>(*this, *FTCPClient, Queue());
}

void TKRTCPConnector::SetActive(bool Value) {
  if (Changing() || !Thread() || Value == Thread()->Active()) return;
  TChangeGuard guard(*this);
  if (Value) {
    FTCPClient->SetAddr(IP());
    FTCPClient->SetPort(FPort);
    FTCPClient->SetConnectTimeout(static_cast<int32_t>(FConnectTimeout.load()));
    try {
      FTCPClient->Open();
    } catch (...) {
      DoCurrentRuntimeError(KRRuntimeErrorText("TKRTCPThread", "FConnector.Name", Name(),
                                               "; procedure _exec; FTcpClient.Open;"));
    }
    ApplyActive(true);
  } else {
    ApplyActive(false);
    StopThread();
    FTCPClient->Close();
    RestartThread();
  }
}

// ---------------------------------------------------------------------------------------------

TKRTCPThread::TKRTCPThread(TKRTCPConnector& AConnector, TKRTCPSocketClient& ATCPClient,
                           TKRThreadQueue2& AQueue)
    : TKRConnectorThread(AConnector, AQueue), fTCPConnector(AConnector), FTCPClient(ATCPClient) {}

TKRTCPThread::~TKRTCPThread() {
  Terminate();
  WaitFor();
}

QString TKRTCPThread::OpenFailureText() const {
  return KRRuntimeErrorText("TKRTCPThread", "FConnector.Name", FConnector.Name(),
                            "; procedure _exec; FTcpClient.Open;");
}

void TKRTCPThread::OpenLink() {
  FTCPClient.SetAddr(fTCPConnector.IP());
  FTCPClient.SetPort(fTCPConnector.Port());
  FTCPClient.SetConnectTimeout(static_cast<int32_t>(fTCPConnector.ConnectTimeout()));
  FTCPClient.Open();
}

bool TKRTCPThread::DiscardInput() {
  uint8_t scratch[1024];
  const uint32_t started = KRGetTickCount();
  int32_t dropped = 0;
  try {
    while (!FTCPClient.IsReadBufferEmpty()) {
      // A few late answers are stale input; more, or input that keeps coming, is a flood.
      if (dropped >= kStaleInputLimit || KRTicksSince(started) >= kStaleInputTimeMs) return false;
      const int32_t n = FTCPClient.ReceiveBuf(scratch, sizeof scratch);
      if (n <= 0) break;
      dropped += n;
    }
  } catch (...) {
    // Stale input that cannot be read does not stop the exchange.
  }
  return true;
}

void TKRTCPThread::Transmit(TKRConnectorPack& APack) {
  int32_t code = 0;
  try {
    if (!FTCPClient.WaitForWrite(static_cast<int32_t>(fTCPConnector.WriteTimeout()))) code = 5;
    else if (FTCPClient.SendBuf(APack.Pack->data(), APack.Length) < APack.Length) code = 3;
  } catch (...) {
    FConnector.DoCurrentRuntimeError(
        KRRuntimeErrorText("TKRTCPThread", "FConnector.Name", FConnector.Name(),
                           "; procedure _exec; n:=FTCPClient.SendBuf(FPack.Pack^,FPack.Length);"));
    code = 3;
  }
  if (code) CountFailure(APack, code);
}

int32_t TKRTCPThread::Receive(TKRConnectorPack& APack, uint32_t) {
  const uint32_t readTimeout = fTCPConnector.ReadTimeout();
  const uint32_t started = KRGetTickCount();
  TKRBuffer& buf = *APack.Pack;
  const int32_t capacity = APack.RLen > 0 ? std::min<int32_t>(APack.RLen, kOpenAnswer) : kOpenAnswer;
  int32_t received = 0;
  try {
    if (!FTCPClient.WaitForRead(static_cast<int32_t>(readTimeout))) return -6;
    // An answer may come in several segments: gather it until its header says it is whole, or
    // until the read time-out, and hand on what has come.
    for (;;) {
      const int32_t n = FTCPClient.ReceiveBuf(buf.data() + received, capacity - received);
      if (n <= 0) break;  // the peer closed, or the socket failed
      received += n;
      if (received >= capacity || AnswerComplete(buf, received, APack.RLen)) break;
      const uint32_t spent = KRTicksSince(started);
      if (spent >= readTimeout) break;
      if (!FTCPClient.WaitForRead(static_cast<int32_t>(readTimeout - spent))) break;
    }
  } catch (...) {
    FConnector.DoCurrentRuntimeError(
        KRRuntimeErrorText("TKRTCPThread", "FConnector.Name", FConnector.Name(),
                           "; procedure _exec; n:=FTCPClient.ReceiveBuf(FPack.Pack^,255);"));
  }
  return received > 0 ? received : -4;
}
