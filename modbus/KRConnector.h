#pragma once
// The base of the byte-stream links that carry Modbus frames. A connector queues send packs and
// lets one worker thread perform one request/answer exchange per pack over its link; it keeps the
// link up (connects on demand, counts failures, closes a failing link, reconnects after a pause),
// hands results back to the GUI thread and reports status changes.

#include "modbus/KRGuiDispatch.h"
#include "modbus/KRRuntimeErrors.h"
#include "modbus/KRThread2.h"
#include "modbus/KRThreadQueue2.h"
#include "modbus/KRTypes.h"

#include <QObject>
#include <QString>

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

enum TKRConnectorType : uint8_t { ctCOMPort = 0, ctTCPClient = 1, ctBluetooth = 2 };

enum TKRConnectorStat : uint8_t {
  cstNotActive = 0,
  cstDisconnected = 1,
  cstConnected = 2,
  cstConnecting = 3,
  cstWaitReconnecting = 4
};

class TKRConnector;

using TKRConnectorCallBack =
    std::function<void(int32_t AError, PKRBuffer APack, int32_t ALength, TKRPackToken* AData)>;
using TKRConnectorPackEv =
    std::function<void(TKRConnector* Sender, PKRBuffer APack, int32_t ALength)>;
using TKRConnectorStatEv =
    std::function<void(TKRConnector* Sender, TKRConnectorStat AStat, uint32_t AReconnectTime)>;

// One exchange. It owns its frame buffer and the sender's token from Send until it is released
// after delivery, or when it is refused or discarded.
struct TKRConnectorPack : TKRQueueItem {
  bool WaitResult = false;
  int32_t Length = 0;        // bytes to send; after a good exchange, bytes received
  int32_t RLen = 0;          // expected answer length; 0 or less: open
  int32_t DelimiterLen = 0;  // 0..4 bytes of Delimiter end an answer
  int32_t Error = 0;
  uint32_t Delimiter = 0;  // last received byte least significant: CR LF is 0x0D0A
  std::unique_ptr<TKRBuffer> Pack;
  std::unique_ptr<TKRPackToken> pData;
  TKRConnectorCallBack CallBack;
};
using PKRConnectorPack = TKRConnectorPack*;

class TKRConnectorThread;

class TKRConnector : public QObject {
 public:
  explicit TKRConnector(QObject* AOwner = nullptr);
  ~TKRConnector() override;

  QString Name() const { return objectName(); }
  void SetName(const QString& AName) { setObjectName(AName); }

  // Accepted within 10..10000 ms; other values are ignored.
  uint32_t ReadTimeout() const { return fReadTimeout; }
  void SetReadTimeout(uint32_t Value);
  uint32_t WriteTimeout() const { return fWriteTimeout; }
  void SetWriteTimeout(uint32_t Value);
  uint32_t ConnectTimeout() const { return fConnectTimeout; }
  void SetConnectTimeout(uint32_t Value);
  uint32_t WaitRespTime() const { return fWaitRespTime; }
  void SetWaitRespTime(uint32_t Value);
  uint32_t ReconnectTime() const { return fReconnectTime; }
  void SetReconnectTime(uint32_t Value);
  // 0 or less: failures never close the link.
  int32_t CountErrorsForReconnect() const { return fCountErrorsForReconnect; }
  void SetCountErrorsForReconnect(int32_t Value) { fCountErrorsForReconnect = Value; }

  // Monitoring events; OnSend/OnRecv run on the worker, the Async ones on the GUI thread while
  // the worker waits. Set them while the connector is inactive.
  const TKRConnectorPackEv& OnSend() const { return fOnSend; }
  void SetOnSend(TKRConnectorPackEv Value) { fOnSend = std::move(Value); }
  const TKRConnectorPackEv& OnRecv() const { return fOnRecv; }
  void SetOnRecv(TKRConnectorPackEv Value) { fOnRecv = std::move(Value); }
  const TKRConnectorPackEv& OnSendAsync() const { return fOnSendAsync; }
  void SetOnSendAsync(TKRConnectorPackEv Value) { fOnSendAsync = std::move(Value); }
  const TKRConnectorPackEv& OnRecvAsync() const { return fOnRecvAsync; }
  void SetOnRecvAsync(TKRConnectorPackEv Value) { fOnRecvAsync = std::move(Value); }
  const TKRConnectorStatEv& OnConnectionStatus() const { return fConnectionStatus; }
  void SetOnConnectionStatus(TKRConnectorStatEv Value) { fConnectionStatus = std::move(Value); }
  TKRRuntimeErrorEv OnRuntimeError() const { return fRuntimeErrorEv.Get(); }
  void SetOnRuntimeError(TKRRuntimeErrorEv Value) { fRuntimeErrorEv.Set(std::move(Value)); }

  bool Active() const { return fQueue.Active(); }
  virtual void SetActive(bool Value);
  int32_t QueueCount() const { return fQueue.Count(); }
  int32_t QueueOutCount() const { return fQueueOutCount; }
  TKRConnectorStat Stat() const;
  uint32_t LastConnectTime() const;
  TKRConnectorType ConnectorType() const { return fConnectorType; }
  bool Connected() const { return GetConnected(); }
  virtual bool GetConnected() const { return false; }

  // Queues one exchange. With 255 packs queued ACallBack(1, APack, 0, AData) runs at once; an
  // inactive connector discards the pack without any callback.
  void Send(std::unique_ptr<TKRBuffer> APack, int32_t ALength, TKRConnectorCallBack ACallBack,
            std::unique_ptr<TKRPackToken> AData, bool AWaitResult, int32_t ARecvLen,
            uint32_t ADelimiter, int32_t ADelimiterLen);
  // Discards every queued pack without any callback.
  void QueueClear() { fQueue.Clear(); }
  // Returns when the queue is empty or aTimeout ms have passed; meanwhile it runs the results
  // and the waited-for calls of the worker, so the worker can go on draining.
  void QueueWaitForEmpty(uint32_t aTimeout);
  uint32_t GetCounter() const;
  static QString ErrorMsg(int32_t AError);
  void DoRuntimeError(const QString& ADesc, const std::exception& E);
  // The same for the exception being handled; call inside a catch block.
  void DoCurrentRuntimeError(const QString& ADesc);

  // The worker's way to the GUI thread.
  TKRGuiDispatch& Dispatch() { return fDispatch; }
  void DeliverPosted(TKRConnectorPack& APack);
  void DeliverFailure(TKRConnectorPack& APack);
  void ReportStatus(TKRConnectorStat AStat, uint32_t AReconnectTime);

 protected:
  void SetConnectorType(TKRConnectorType Value) { fConnectorType = Value; }
  TKRThreadQueue2& Queue() { return fQueue; }
  TKRConnectorThread* Thread() const { return fThread.get(); }
  // A fresh, inactive worker with the connector's current settings.
  virtual std::unique_ptr<TKRConnectorThread> CreateThread() = 0;
  // Stops the worker (serving its waited-for calls meanwhile) and creates a fresh one.
  void RestartThread();
  // Stops and frees the worker. Safe from inside any result or failure handler.
  void StopThread();
  // The first step of a descendant's destructor: from here on no handler of the sender runs,
  // then the worker is stopped, before the link objects go away.
  void Shutdown();
  // The common part of SetActive: worker and queue state, then the direct status report.
  void ApplyActive(bool Value);
  // True while SetActive is changing the state: nested calls from handlers are ignored.
  bool Changing() const { return fChanging; }

  class TChangeGuard {
   public:
    explicit TChangeGuard(TKRConnector& c) : fC(c) { fC.fChanging = true; }
    ~TChangeGuard() { fC.fChanging = false; }
   private:
    TKRConnector& fC;
  };

 private:
  std::atomic<uint32_t> fWaitRespTime{5};
  std::atomic<uint32_t> fReconnectTime{5000};
  std::atomic<uint32_t> fReadTimeout{100};
  std::atomic<uint32_t> fWriteTimeout{100};
  std::atomic<uint32_t> fConnectTimeout{1000};
  TKRConnectorPackEv fOnRecv, fOnSend, fOnRecvAsync, fOnSendAsync;
  TKRRuntimeErrorHandler fRuntimeErrorEv;
  std::atomic<int32_t> fCountErrorsForReconnect{3};
  TKRConnectorStatEv fConnectionStatus;
  int32_t fQueueOutCount = 0;
  TKRConnectorType fConnectorType = ctCOMPort;
  bool fChanging = false;
  int32_t fStopping = 0;  // nested StopThread calls now waiting for the worker
  std::atomic<bool> fShuttingDown{false};
  // Destroyed in reverse order: the worker goes first, then the queue, then the dispatch.
  TKRGuiDispatch fDispatch;
  TKRThreadQueue2 fQueue;
  std::unique_ptr<TKRConnectorThread> fThread;
};

// The worker's view of a connector: takes one pack per wake-up and runs the exchange.
class TKRConnectorThread : public TKRThread2 {
 public:
  TKRConnectorThread(TKRConnector& AConnector, TKRThreadQueue2& AQueue);

  uint32_t WaitRespTime() const { return FWaitRespTime; }
  void SetWaitRespTime(uint32_t Value) { FWaitRespTime = Value; }
  void SetReconnectTime(uint32_t Value) { FReconnectTime = Value; }
  void SetReadTimeout(uint32_t Value) { FReadTimeout = Value; }
  void SetWriteTimeout(uint32_t Value) { FWriteTimeout = Value; }
  void SetConnectTimeout(uint32_t Value) { FConnectTimeout = Value; }
  TKRConnectorStat Stat() const { return FStat; }
  uint32_t LastConnectTime() const { return FLastConnectTime; }
  uint32_t Counter() const { return FCounter; }

  // Reports a status change (repeats cstWaitReconnecting at most every 500 ms). Any thread.
  void SetStat(TKRConnectorStat AStat);
  // Takes the oldest pack, if any, and performs its exchange.
  void ProcessNext();

 protected:
  void Work() override { ProcessNext(); }
  // The exchange of FPK: link check, send, receive, delivery.
  void _exec();

  // Transport steps of the exchange.
  virtual bool LinkUp() = 0;
  // Opens the link; exceptions are caught and reported by the caller.
  virtual void OpenLink() = 0;
  virtual QString OpenFailureText() const = 0;
  virtual void CloseLink() = 0;
  // Called before the send events: drop input that arrived outside any exchange. False when the
  // peer does not stop sending: the link has failed.
  virtual bool DiscardInput() = 0;
  // Sends FPK; on failure sets its Error (counting the failure as the transport does).
  virtual void Transmit(TKRConnectorPack& APack) = 0;
  // Receives the answer into APack; returns the byte count, or minus the failure code.
  virtual int32_t Receive(TKRConnectorPack& APack, uint32_t AStarted) = 0;

  // A failed exchange: Error and Length; closes the link after CountErrorsForReconnect in a row.
  void CountFailure(TKRConnectorPack& APack, int32_t ACode);
  // Closes a failed link, reports it and starts the pause before the next attempt.
  void DropLink();
  void DoSend(TKRConnectorPack& APack);
  void DoRecv(TKRConnectorPack& APack);

  TKRConnector& FConnector;
  std::atomic<uint32_t> FWaitRespTime;
  std::atomic<uint32_t> FReconnectTime;
  std::atomic<uint32_t> FLastConnectTime;
  std::atomic<uint32_t> FReadTimeout;
  std::atomic<uint32_t> FWriteTimeout;
  std::atomic<uint32_t> FConnectTimeout;
  int32_t FErrCntr = 0;
  // Time the send of the current exchange started.
  uint32_t FSendStart = 0;

 private:
  void DeliverResult();

  std::atomic<uint32_t> FLastStatusSendTm{0};
  std::atomic<TKRConnectorStat> FStat{cstNotActive};
  std::atomic<uint32_t> FCounter{0};
  TKRThreadQueue2& FQueue;
  std::unique_ptr<TKRConnectorPack> FPK;
};
