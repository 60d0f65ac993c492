#include "modbus/KRCOMPortConnector.h"

#include <algorithm>

namespace {

constexpr int32_t kWriteFailuresToClose = 7;

// The end of an RTU frame: 3.5 characters of silence.
uint32_t FrameEndMs(int32_t baud, int32_t parity) {
  const uint32_t bitsPerChar = parity == 0 ? 10 : 11;
  const uint32_t rate = baud > 0 ? static_cast<uint32_t>(baud) : 9600;
  return (35 * bitsPerChar * 1000 / 10 + rate - 1) / rate + 1;
}

bool EndsWithDelimiter(const TKRBuffer& buf, int32_t received, uint32_t delimiter, int32_t len) {
  if (len < 1 || len > 4 || received < len) return false;
  uint32_t tail = 0;
  for (int32_t i = received - len; i < received; ++i) tail = tail << 8 | buf[i];
  return tail == delimiter;
}

}  // namespace

TKRCOMPortConnector::TKRCOMPortConnector(QObject* AOwner)
    : TKRConnector(AOwner), FComPort(std::make_unique<TKRCOMPort>()) {
  SetConnectorType(ctCOMPort);
  RestartThread();
}

TKRCOMPortConnector::~TKRCOMPortConnector() {
  Shutdown();
  FComPort->Close();
}

std::unique_ptr<TKRConnectorThread> TKRCOMPortConnector::CreateThread() {
  return std::make_unique<TKRCOMPortThread>(*this, *FComPort, Queue());
}

void TKRCOMPortConnector::SetActive(bool Value) {
  if (Changing() || !Thread() || Value == Thread()->Active()) return;
  TChangeGuard guard(*this);
  if (Value) {
    FComPort->Open();
    ApplyActive(true);
  } else {
    ApplyActive(false);
    StopThread();
    FComPort->Close();
    RestartThread();
  }
}

// ---------------------------------------------------------------------------------------------

TKRCOMPortThread::TKRCOMPortThread(TKRConnector& AConnector, TKRCOMPort& AComPort,
                                   TKRThreadQueue2& AQueue)
    : TKRConnectorThread(AConnector, AQueue), FComPort(AComPort) {
  // Every successful open, by whichever thread, reports the link as connected.
  FComPort.SetOnConnected([this](void*) { SetStat(cstConnected); });
}

TKRCOMPortThread::~TKRCOMPortThread() {
  Terminate();
  WaitFor();
  FComPort.SetOnConnected(nullptr);
}

QString TKRCOMPortThread::OpenFailureText() const {
  return KRRuntimeErrorText("TKRCOMPortThread", "FConnector.Name", FConnector.Name(),
                            "; procedure _exec; FComPort.Open;");
}

void TKRCOMPortThread::OpenLink() {
  const uint32_t w = FWriteTimeout;
  FComPort.SetWriteTotalTimeoutConstant(w);
  FComPort.SetWriteTotalTimeoutMultiplier(std::max<uint32_t>(w / 10, 10));
  FComPort.Open();
}

bool TKRCOMPortThread::DiscardInput() {
  // RTU answers carry no transaction number: a late one would pass for the next answer, and two
  // requests of the same length cannot be told apart by their answers.
  if (fAnswerOverdue) AwaitQuietLine();
  fAnswerOverdue = false;
  FComPort.DiscardInput();
  return true;
}

void TKRCOMPortThread::GiveUpAnswer(const TKRConnectorPack& APack) {
  fAnswerOverdue = true;
  fOverdueFrom = KRGetTickCount();
  fOverdueLength = APack.RLen;
}

void TKRCOMPortThread::AwaitQuietLine() {
  // An answer later than one more response time after it was given up is not expected; one
  // that has come whole needs only the silence that ends its frame.
  const uint32_t late = FWriteTimeout + FReadTimeout;
  const uint32_t frameEnd = FrameEndMs(FComPort.BaudRate(), FComPort.Parity());
  // A line that never falls quiet is given up after another response time.
  const uint32_t limit = 2 * late;
  uint8_t scratch[256];
  int32_t dropped = 0;
  uint32_t lastByte = KRGetTickCount();
  for (;;) {
    const uint32_t spent = KRTicksSince(fOverdueFrom);
    if (spent >= limit) return;
    const bool whole = fOverdueLength > 0 && dropped >= fOverdueLength;
    const uint32_t quiet = KRTicksSince(lastByte);
    if (quiet >= frameEnd && (whole || spent >= late)) return;
    uint32_t wait = frameEnd > quiet ? frameEnd - quiet : 0;
    if (!whole && spent < late) wait = std::max(wait, late - spent);
    const TKRSerialWait w = FComPort.WaitForInput(std::max<uint32_t>(1, std::min(wait, limit - spent)));
    if (w == swFailed) return;
    if (w == swTimeout) continue;
    const int32_t n = FComPort.Read(scratch, sizeof scratch);
    if (n <= 0) return;
    dropped += n;
    lastByte = KRGetTickCount();
  }
}

void TKRCOMPortThread::Transmit(TKRConnectorPack& APack) {
  int32_t n = 0;
  try {
    n = FComPort.Write(APack.Pack->data(), APack.Length);
  } catch (...) {
    FConnector.DoCurrentRuntimeError(KRRuntimeErrorText(
        "TKRCOMPortThread", "FConnector.Name", FConnector.Name(),
        "; procedure _exec; n:=FComPort.Write(FPk^.Pack^,FPk^.Length);"));
    n = -1;
  }
  if (n >= APack.Length) return;
  ++FErrCntr2;
  APack.Error = 3;
  APack.Length = 0;
  if (FErrCntr2 >= kWriteFailuresToClose) {
    FComPort.Close();
    FLastConnectTime = KRGetTickCount();
    FErrCntr2 = 0;
  }
}

int32_t TKRCOMPortThread::Receive(TKRConnectorPack& APack, uint32_t AStarted) {
  const int32_t rlen = APack.RLen;
  // Room for a somewhat longer answer than expected, so that a foreign one shows as such.
  const int32_t limit = rlen <= 0 ? 255 : std::min(255, std::max(rlen, 3 * (rlen / 2)));
  const uint32_t overall = FWriteTimeout + FReadTimeout;
  const uint32_t waitResp = FWaitRespTime;
  uint32_t silenceEnd = KRGetTickCount() + waitResp;
  // With nothing received, the first of the two deadlines decides the code; on a tie the overall
  // limit wins, as no answer at all is a time-out.
  const bool silenceFirst = static_cast<int32_t>(silenceEnd - (AStarted + overall)) < 0;
  int32_t received = 0;
  TKRBuffer& buf = *APack.Pack;
  try {
    // Sleeps on the port until bytes arrive, the silence limit or the overall limit ends.
    while (KRTicksSince(AStarted) < overall) {
      const int32_t silenceLeft = static_cast<int32_t>(silenceEnd - KRGetTickCount());
      if (silenceLeft <= 0) break;
      const uint32_t overallLeft = overall - KRTicksSince(AStarted);
      const TKRSerialWait w =
          FComPort.WaitForInput(std::min<uint32_t>(static_cast<uint32_t>(silenceLeft), overallLeft));
      if (w == swFailed) break;
      if (w == swTimeout) continue;
      const int32_t n = FComPort.Read(buf.data() + received, limit - received);
      if (n <= 0) break;  // readable yet empty: the line has gone
      received += n;
      if (rlen > 0 && received >= rlen) break;
      if (EndsWithDelimiter(buf, received, APack.Delimiter, APack.DelimiterLen)) break;
      if (received >= limit) break;
      silenceEnd = KRGetTickCount() + waitResp;
    }
  } catch (...) {
    FConnector.DoCurrentRuntimeError(KRRuntimeErrorText(
        "TKRCOMPortThread", "FConnector.Name", FConnector.Name(),
        "; procedure _exec; n:=FComPort.ReceiveBuf(FPack.Pack^,255);"));
    if (received > 0) return received;
    GiveUpAnswer(APack);
    return -4;
  }
  if (received > 0) return received;
  GiveUpAnswer(APack);
  const bool brokenOff = KRTicksSince(AStarted) < overall &&
                         static_cast<int32_t>(silenceEnd - KRGetTickCount()) > 0;
  return brokenOff || silenceFirst ? -4 : -6;
}
