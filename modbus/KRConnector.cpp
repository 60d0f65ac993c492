#include "modbus/KRConnector.h"

#include "modbus/KRConnectorLng.h"

namespace {

constexpr int32_t kQueueLimit = 255;

bool InTimeoutRange(uint32_t Value) { return Value >= 10 && Value <= 10000; }

}  // namespace

TKRConnector::TKRConnector(QObject* AOwner) : QObject(AOwner) {}

TKRConnector::~TKRConnector() = default;

void TKRConnector::SetReadTimeout(uint32_t Value) {
  if (!InTimeoutRange(Value)) return;
  fReadTimeout = Value;
  if (fThread) fThread->SetReadTimeout(Value);
}

void TKRConnector::SetWriteTimeout(uint32_t Value) {
  if (!InTimeoutRange(Value)) return;
  fWriteTimeout = Value;
  if (fThread) fThread->SetWriteTimeout(Value);
}

void TKRConnector::SetConnectTimeout(uint32_t Value) {
  if (!InTimeoutRange(Value)) return;
  fConnectTimeout = Value;
  if (fThread) fThread->SetConnectTimeout(Value);
}

void TKRConnector::SetWaitRespTime(uint32_t Value) {
  fWaitRespTime = Value;
  if (fThread) fThread->SetWaitRespTime(Value);
}

void TKRConnector::SetReconnectTime(uint32_t Value) {
  fReconnectTime = Value;
  if (fThread) fThread->SetReconnectTime(Value);
}

TKRConnectorStat TKRConnector::Stat() const { return fThread ? fThread->Stat() : cstNotActive; }

uint32_t TKRConnector::LastConnectTime() const { return fThread ? fThread->LastConnectTime() : 0; }

uint32_t TKRConnector::GetCounter() const { return fThread ? fThread->Counter() : 0; }

void TKRConnector::SetActive(bool Value) {
  if (fChanging) return;
  TChangeGuard guard(*this);
  ApplyActive(Value);
}

void TKRConnector::ApplyActive(bool Value) {
  if (!fThread || Value == fThread->Active()) return;
  fThread->SetActive(Value);
  fQueue.SetActive(Value);
  if (fConnectionStatus) fConnectionStatus(this, Value ? cstDisconnected : cstNotActive, 0);
}

void TKRConnector::Send(std::unique_ptr<TKRBuffer> APack, int32_t ALength,
                        TKRConnectorCallBack ACallBack, std::unique_ptr<TKRPackToken> AData,
                        bool AWaitResult, int32_t ARecvLen, uint32_t ADelimiter,
                        int32_t ADelimiterLen) {
  auto pack = std::make_unique<TKRConnectorPack>();
  pack->Pack = std::move(APack);
  pack->Length = ALength;
  pack->CallBack = std::move(ACallBack);
  pack->pData = std::move(AData);
  pack->RLen = ARecvLen;
  pack->Delimiter = ADelimiter;
  pack->DelimiterLen = ADelimiterLen;
  pack->WaitResult = AWaitResult;
  if (fQueue.AtLeast(kQueueLimit)) {
    if (pack->CallBack) pack->CallBack(1, pack->Pack.get(), 0, pack->pData.get());
    return;
  }
  fQueue.Push(std::move(pack));
}

void TKRConnector::QueueWaitForEmpty(uint32_t aTimeout) {
  // May be the last thing this connector does: a result handler may delete it meanwhile.
  fDispatch.WaitServing(fQueue.EmptyEvent(), aTimeout);
}

QString TKRConnector::ErrorMsg(int32_t AError) { return KRConnectorErrorMsg(AError); }

void TKRConnector::DoRuntimeError(const QString& ADesc, const std::exception& E) {
  fRuntimeErrorEv.Report(this, ADesc, E);
}

void TKRConnector::DoCurrentRuntimeError(const QString& ADesc) {
  fRuntimeErrorEv.ReportCurrent(this, ADesc);
}

void TKRConnector::DeliverPosted(TKRConnectorPack& APack) {
  // A result that arrives after deactivation, or while the connector is being destroyed, belongs
  // to nobody any more: its handler might resubmit onto a dying object.
  if (fShuttingDown || !Active() || !APack.CallBack) return;
  try {
    APack.CallBack(0, APack.Pack.get(), APack.Length, APack.pData.get());
  } catch (...) {
    DoCurrentRuntimeError(
        KRRuntimeErrorText("TKRConnector", "FConnector.Name", Name(), "] procedure WndProc;"));
  }
}

void TKRConnector::DeliverFailure(TKRConnectorPack& APack) {
  if (fShuttingDown || !APack.pData) return;
  try {
    APack.pData->TransportFailed(APack.Error);
  } catch (...) {
    DoCurrentRuntimeError(
        KRRuntimeErrorText("TKRConnector", "FConnector.Name", Name(), "] procedure WndProc;"));
  }
}

void TKRConnector::ReportStatus(TKRConnectorStat AStat, uint32_t AReconnectTime) {
  if (fShuttingDown || !fConnectionStatus) return;
  try {
    // A copy: the handler may delete this connector, and the handler with it.
    const TKRConnectorStatEv handler = fConnectionStatus;
    handler(this, AStat, AReconnectTime);
  } catch (...) {
    DoCurrentRuntimeError(
        KRRuntimeErrorText("TKRConnector", "FConnector.Name", Name(), "] procedure WndProc;"));
  }
}

void TKRConnector::StopThread() {
  if (!fThread) return;
  fThread->Terminate();
  // Called from a failure handler, the worker is waiting for this very handler to return.
  fDispatch.ReleaseCaller();
  ++fStopping;
  fDispatch.WaitServing(fThread->FinishedEvent());
  --fStopping;
  fThread->WaitFor();
  fThread.reset();
}

void TKRConnector::Shutdown() {
  // Deleted by a handler that ran while this connector was stopping its worker: the stop would
  // go on in a destroyed object. Deleting it from a handler at any other time is safe.
  if (fStopping > 0)
    qFatal("connector \"%s\" deleted by a handler while it stops its worker; delete it later "
           "(deleteLater) instead",
           qUtf8Printable(Name()));
  fShuttingDown = true;
  StopThread();
}

void TKRConnector::RestartThread() {
  StopThread();
  fThread = CreateThread();
}

// ---------------------------------------------------------------------------------------------

TKRConnectorThread::TKRConnectorThread(TKRConnector& AConnector, TKRThreadQueue2& AQueue)
    : TKRThread2(AQueue.SignalEvent()),
      FConnector(AConnector),
      FWaitRespTime(AConnector.WaitRespTime()),
      FReconnectTime(AConnector.ReconnectTime()),
      // The first pack of a new worker tries to connect at once.
      FLastConnectTime(KRGetTickCount() - AConnector.ReconnectTime() - 1),
      FReadTimeout(AConnector.ReadTimeout()),
      FWriteTimeout(AConnector.WriteTimeout()),
      FConnectTimeout(AConnector.ConnectTimeout()),
      FQueue(AQueue) {}

void TKRConnectorThread::SetStat(TKRConnectorStat AStat) {
  if (AStat == FStat) {
    if (AStat != cstWaitReconnecting || KRTicksSince(FLastStatusSendTm) <= 500) return;
  } else {
    FStat = AStat;
  }
  FLastStatusSendTm = KRGetTickCount();
  const uint32_t reconnectTime = KRGetTickCount() - FLastConnectTime;
  TKRConnector* connector = &FConnector;
  connector->Dispatch().Post(
      [connector, AStat, reconnectTime] { connector->ReportStatus(AStat, reconnectTime); });
}

void TKRConnectorThread::ProcessNext() {
  try {
    std::unique_ptr<TKRQueueItem> item = FQueue.Pop();
    if (!item) return;
    FPK.reset(static_cast<TKRConnectorPack*>(item.release()));
    _exec();
  } catch (...) {
    FConnector.DoCurrentRuntimeError(KRRuntimeErrorText(
        "TKRConnectorThreadOut", "FConnector.Name", FConnector.Name(), "] procedure Execute;"));
  }
  // A pack whose exchange broke off is released here; it never reaches its sender.
  FPK.reset();
}

void TKRConnectorThread::_exec() {
  TKRConnectorPack& pk = *FPK;
  if (!LinkUp()) {
    if (KRTicksSince(FLastConnectTime) > FReconnectTime) {
      SetStat(cstConnecting);
      try {
        OpenLink();
      } catch (...) {
        FConnector.DoCurrentRuntimeError(OpenFailureText());
      }
      FLastConnectTime = KRGetTickCount();
    }
    if (!LinkUp()) {
      SetStat(cstWaitReconnecting);
      pk.Error = 2;
      pk.Length = 0;
      DeliverResult();
      return;
    }
    SetStat(cstConnected);
    FErrCntr = 0;
  }
  pk.Error = 0;
  if (!DiscardInput()) {
    // No room for an answer between the bytes of a peer that floods the line.
    DropLink();
    pk.Error = 4;
    pk.Length = 0;
    DeliverResult();
    return;
  }
  DoSend(pk);
  FSendStart = KRGetTickCount();
  Transmit(pk);
  if (pk.Error == 0 && pk.WaitResult) {
    const int32_t received = Receive(pk, FSendStart);
    if (received > 0) {
      ++FCounter;
      pk.Length = received;
      FErrCntr = 0;
      DoRecv(pk);
    } else {
      CountFailure(pk, -received);
    }
  }
  DeliverResult();
}

void TKRConnectorThread::CountFailure(TKRConnectorPack& APack, int32_t ACode) {
  ++FErrCntr;
  APack.Error = ACode;
  APack.Length = 0;
  const int32_t limit = FConnector.CountErrorsForReconnect();
  if (limit > 0 && FErrCntr >= limit) DropLink();
}

void TKRConnectorThread::DropLink() {
  CloseLink();
  SetStat(cstDisconnected);
  FLastConnectTime = KRGetTickCount();
  FErrCntr = 0;
}

void TKRConnectorThread::DoSend(TKRConnectorPack& APack) {
  if (FConnector.OnSend()) FConnector.OnSend()(&FConnector, APack.Pack.get(), APack.Length);
  if (FConnector.OnSendAsync()) {
    TKRConnector* c = &FConnector;
    PKRBuffer buf = APack.Pack.get();
    const int32_t len = APack.Length;
    c->Dispatch().Call([c, buf, len] {
      try {
        c->OnSendAsync()(c, buf, len);
      } catch (...) {
        c->DoCurrentRuntimeError(KRRuntimeErrorText("TKRConnectorThreadOut", "FConnector.Name",
                                                    c->Name(), "] procedure Execute;"));
      }
    });
  }
}

void TKRConnectorThread::DoRecv(TKRConnectorPack& APack) {
  if (FConnector.OnRecv()) FConnector.OnRecv()(&FConnector, APack.Pack.get(), APack.Length);
  if (FConnector.OnRecvAsync()) {
    TKRConnector* c = &FConnector;
    PKRBuffer buf = APack.Pack.get();
    const int32_t len = APack.Length;
    c->Dispatch().Call([c, buf, len] {
      try {
        c->OnRecvAsync()(c, buf, len);
      } catch (...) {
        c->DoCurrentRuntimeError(KRRuntimeErrorText("TKRConnectorThreadOut", "FConnector.Name",
                                                    c->Name(), "] procedure Execute;"));
      }
    });
  }
}

void TKRConnectorThread::DeliverResult() {
  std::shared_ptr<TKRConnectorPack> pack(std::move(FPK));
  TKRConnector* c = &FConnector;
  if (pack->Error == 0) {
    c->Dispatch().Post([c, pack] { c->DeliverPosted(*pack); });
  } else {
    // The failure completion runs on the GUI thread while this worker waits.
    c->Dispatch().Call([c, pack] { c->DeliverFailure(*pack); });
  }
}
