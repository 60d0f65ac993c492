#include "modbus/KRTCPConnector.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr int32_t kOpenAnswer = 1024;
constexpr int32_t kHeader = 6;  // transaction, protocol, length; the length counts what follows
constexpr int32_t kStaleInputLimit = 16 * 1024;  // bytes
constexpr uint32_t kStaleInputTimeMs = 50;
// What the answer wait gives when the peer closed the connection before any byte came.
constexpr int32_t kPeerGone = -1000;

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

bool TKRTCPThread::LinkUp() {
  if (!FTCPClient.Connected()) return false;
  // One peek tells both whether the peer has closed and whether stale input waits.
  fPeeked = FTCPClient.PeekInput();
  if (fPeeked != 0) return true;
  FTCPClient.Close();
  FLastConnectTime = KRGetTickCount() - FReconnectTime - 1;  // an attempt is due now
  return false;
}

bool TKRTCPThread::DiscardInput() {
  if (fPeeked != 1) return true;
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

int32_t TKRTCPThread::SendRequest(TKRConnectorPack& APack) {
  const uint32_t writeTimeout = fTCPConnector.WriteTimeout();
  const uint32_t started = KRGetTickCount();
  try {
    // A connected socket nearly always has room for a request: it is sent at once, and only
    // what the socket cannot take yet waits for it to become writable.
    int32_t sent = 0;
    while (sent < APack.Length) {
      const int32_t n = FTCPClient.SendBuf(APack.Pack->data() + sent, APack.Length - sent);
      if (n > 0) {
        sent += n;
        continue;
      }
      if (n < 0 && !KRSocketApi::WouldBlock(KRSocketApi::LastError())) return 3;
      const uint32_t spent = KRTicksSince(started);
      if (spent >= writeTimeout ||
          !FTCPClient.WaitForWrite(static_cast<int32_t>(writeTimeout - spent)))
        return 5;
    }
  } catch (...) {
    FConnector.DoCurrentRuntimeError(
        KRRuntimeErrorText("TKRTCPThread", "FConnector.Name", FConnector.Name(),
                           "; procedure _exec; n:=FTCPClient.SendBuf(FPack.Pack^,FPack.Length);"));
    return 3;
  }
  return 0;
}

void TKRTCPThread::Transmit(TKRConnectorPack& APack) {
  if (const int32_t code = SendRequest(APack)) CountFailure(APack, code);
}

int32_t TKRTCPThread::Receive(TKRConnectorPack& APack, uint32_t) {
  const int32_t received = ReceiveAnswer(APack);
  if (received != kPeerGone) return received;
  // Closed as the request went out, so the request was not taken: on a fresh connection it goes
  // out once more, and only a failure there counts.
  FTCPClient.Close();
  try {
    OpenLink();
  } catch (...) {
    FConnector.DoCurrentRuntimeError(OpenFailureText());
  }
  FLastConnectTime = KRGetTickCount();
  if (!FTCPClient.Connected()) return -4;
  if (const int32_t code = SendRequest(APack)) return -code;
  const int32_t again = ReceiveAnswer(APack);
  return again == kPeerGone ? -4 : again;
}

int32_t TKRTCPThread::ReceiveAnswer(TKRConnectorPack& APack) {
  const uint32_t readTimeout = fTCPConnector.ReadTimeout();
  const uint32_t started = KRGetTickCount();
  TKRBuffer& buf = *APack.Pack;
  const int32_t capacity = APack.RLen > 0 ? std::min<int32_t>(APack.RLen, kOpenAnswer) : kOpenAnswer;
  int32_t received = 0;
  bool droppedLate = false;
  const uint8_t id0 = buf[0], id1 = buf[1];  // the request's transaction number
  try {
    if (!FTCPClient.WaitForRead(static_cast<int32_t>(readTimeout))) return -6;
    // An answer may come in several segments: gather it until its header says it is whole, or
    // until the read time-out, and hand on what has come.
    for (;;) {
      const int32_t n = FTCPClient.ReceiveBuf(buf.data() + received, capacity - received);
      if (n == 0 && received == 0) return kPeerGone;
      if (n <= 0) break;  // the peer closed, or the socket failed
      received += n;
      // A whole answer with another transaction number came late for an earlier request: it
      // is dropped, and the wait goes on for this one.
      while (received >= kHeader && (buf[0] != id0 || buf[1] != id1)) {
        const int32_t whole = kHeader + (buf[4] << 8 | buf[5]);
        if (whole > received) break;
        std::memmove(buf.data(), buf.data() + whole, static_cast<size_t>(received - whole));
        received -= whole;
        droppedLate = true;
      }
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
  if (received > 0) return received;
  return droppedLate ? -6 : -4;
}
