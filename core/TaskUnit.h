#pragma once
// The request scheduler: user actions only mark a kind of request as pending; one GUI timer
// issues at most one request at a time in a fixed priority order and polls when idle.

#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

using TNotifyEvent = std::function<void(void* Sender)>;

class TLN_TaskMgr {
 public:
  explicit TLN_TaskMgr(int32_t aInterval);
  ~TLN_TaskMgr();
  TLN_TaskMgr(const TLN_TaskMgr&) = delete;
  TLN_TaskMgr& operator=(const TLN_TaskMgr&) = delete;

  // Request operations: each only marks its kind as pending.
  void ReadMemNum() { ++fReadMemNum; }
  void ReadMemNumAndCounters() { ++fReadMemNumAndCounters; }
  void WriteOnOff() { ++fWriteOnOff; }
  void WriteMemNum() { ++fWriteMemNum; }
  void WriteSetData() { ++fWriteSetData; }
  void WriteMemory() { ++fWriteMemory; }
  void WriteBled() { ++fWriteBled; }
  void ReadMemory() { ++fReadMemory; }
  void ReadSetData() { ++fReadSetData; }
  void ReadGlobalData() { ++fReadGlobalData; }
  void WriteGlobalData() { ++fWriteGlobalData; }
  void ReadCalibData() { ++fReadCalibData; }
  void WriteCalibCmd() { ++fWriteCalibCmd; }
  void ReadTemperature() { ++fReadTemperature; }
  void ReadDebugData() { ++fReadDebugData; }
  void WriteJumpBoot() { ++fWriteJumpBoot; }
  void WriteCommand() { ++fWriteCommand; }

  void Clear();
  void Start();
  void Stop();
  // A request was answered without error: the next one follows after the short interval.
  void Callback();

  // The timer's handler; public so that tests can drive the scheduler without waiting.
  void TimerTick();

  bool Running() const { return fTimer->isActive(); }
  int32_t TimerInterval() const { return fTimer->interval(); }
  int32_t ErrorCount() const { return fErrorCount; }
  int32_t Timeout() const { return fTimeout; }
  void SetTimeout(int32_t value) { fTimeout = value; }
  int32_t Interval() const { return fInterval; }

#define KELVORA_TASK_EVENT(Name) \
  const TNotifyEvent& Name() const { return f##Name; } \
  void Set##Name(TNotifyEvent value) { f##Name = std::move(value); }
  KELVORA_TASK_EVENT(OnReadMemNum)
  KELVORA_TASK_EVENT(OnReadMemNumAndCounters)
  KELVORA_TASK_EVENT(OnWriteOnOff)
  KELVORA_TASK_EVENT(OnWriteSetData)
  KELVORA_TASK_EVENT(OnWriteMemNum)
  KELVORA_TASK_EVENT(OnWriteMemory)
  KELVORA_TASK_EVENT(OnWriteBled)
  KELVORA_TASK_EVENT(OnReadMemory)
  KELVORA_TASK_EVENT(OnReadData)
  KELVORA_TASK_EVENT(OnReadSetData)
  KELVORA_TASK_EVENT(OnReadGlobalData)
  KELVORA_TASK_EVENT(OnWriteGlobalData)
  KELVORA_TASK_EVENT(OnReadCalibData)
  KELVORA_TASK_EVENT(OnWriteCalibCmd)
  KELVORA_TASK_EVENT(OnReadTemperature)
  KELVORA_TASK_EVENT(OnReadDebugData)
  KELVORA_TASK_EVENT(OnError)
  KELVORA_TASK_EVENT(OnTimeout)
  KELVORA_TASK_EVENT(OnWriteJumpBoot)
  KELVORA_TASK_EVENT(OnWriteCommand)
#undef KELVORA_TASK_EVENT

 private:
  bool TryServe(int32_t& counter, const TNotifyEvent& event);
  void Fire(const TNotifyEvent& event);
  void Arm(int32_t interval);

  int32_t fReadMemNum = 0, fReadMemNumAndCounters = 0, fWriteSetData = 0, fWriteOnOff = 0,
          fWriteMemNum = 0, fWriteMemory = 0, fWriteBled = 0, fReadMemory = 0, fReadSetData = 0,
          fReadGlobalData = 0, fWriteGlobalData = 0, fReadDebugData = 0, fReadCalibData = 0,
          fWriteCalibCmd = 0, fReadTemperature = 0;
  int32_t fErrorCount = 0;
  int32_t fWriteJumpBoot = 0, fWriteCommand = 0;
  std::unique_ptr<QTimer> fTimer;
  int32_t fTimeout = 1000;
  int32_t fInterval;
  TNotifyEvent fOnReadMemNum, fOnReadMemNumAndCounters, fOnWriteOnOff, fOnWriteSetData,
      fOnWriteMemNum, fOnWriteMemory, fOnWriteBled, fOnReadMemory, fOnReadData, fOnReadSetData,
      fOnReadGlobalData, fOnWriteGlobalData, fOnReadCalibData, fOnWriteCalibCmd,
      fOnReadTemperature, fOnReadDebugData, fOnError, fOnTimeout, fOnWriteJumpBoot,
      fOnWriteCommand;
};
