#include "core/TaskUnit.h"

TLN_TaskMgr::TLN_TaskMgr(int32_t aInterval) : fTimer(std::make_unique<QTimer>()), fInterval(aInterval) {
  fTimer->setSingleShot(false);
  // The 5 ms gap after an answer sets the polling rate: a coarse timer would stretch it.
  fTimer->setTimerType(Qt::PreciseTimer);
  QObject::connect(fTimer.get(), &QTimer::timeout, [this] { TimerTick(); });
}

TLN_TaskMgr::~TLN_TaskMgr() = default;

void TLN_TaskMgr::Clear() {
  fReadMemNum = fReadMemNumAndCounters = fWriteSetData = fWriteOnOff = fWriteMemNum = 0;
  fWriteMemory = fWriteBled = fReadMemory = fReadSetData = fReadGlobalData = 0;
  fWriteGlobalData = fReadDebugData = fReadCalibData = fWriteCalibCmd = fReadTemperature = 0;
  fWriteJumpBoot = fWriteCommand = 0;
  fErrorCount = 0;
}

void TLN_TaskMgr::Arm(int32_t interval) {
  fTimer->stop();
  fTimer->setInterval(interval);
  fTimer->start();
}

void TLN_TaskMgr::Start() {
  Clear();
  Arm(fInterval);
}

void TLN_TaskMgr::Stop() { fTimer->stop(); }

void TLN_TaskMgr::Callback() {
  fErrorCount = 0;
  Arm(fInterval);
}

void TLN_TaskMgr::Fire(const TNotifyEvent& event) {
  if (event) event(this);
}

bool TLN_TaskMgr::TryServe(int32_t& counter, const TNotifyEvent& event) {
  if (counter <= 0) return false;
  counter = 0;  // any number of raises before service gives one request
  Fire(event);
  return true;
}

void TLN_TaskMgr::TimerTick() {
  fTimer->stop();
  if (fErrorCount == 1) Fire(fOnTimeout);
  if (fErrorCount >= 3) {
    Stop();
    Fire(fOnError);
    return;
  }
  ++fErrorCount;

  // No answer comes to the bootloader jump, so the scheduler stays stopped after it.
  if (TryServe(fWriteJumpBoot, fOnWriteJumpBoot)) return;

  const bool served = TryServe(fReadMemNum, fOnReadMemNum) ||
                      TryServe(fReadMemNumAndCounters, fOnReadMemNumAndCounters) ||
                      TryServe(fWriteOnOff, fOnWriteOnOff) ||
                      TryServe(fReadGlobalData, fOnReadGlobalData) ||
                      TryServe(fWriteGlobalData, fOnWriteGlobalData) ||
                      TryServe(fReadCalibData, fOnReadCalibData) ||
                      TryServe(fWriteCalibCmd, fOnWriteCalibCmd) ||
                      TryServe(fWriteMemNum, fOnWriteMemNum) ||
                      TryServe(fWriteMemory, fOnWriteMemory) ||
                      TryServe(fWriteCommand, fOnWriteCommand) ||
                      TryServe(fReadSetData, fOnReadSetData) ||
                      TryServe(fReadMemory, fOnReadMemory) ||
                      TryServe(fWriteSetData, fOnWriteSetData) ||
                      TryServe(fWriteBled, fOnWriteBled) ||
                      TryServe(fReadTemperature, fOnReadTemperature) ||
                      TryServe(fReadDebugData, fOnReadDebugData);
  if (!served) Fire(fOnReadData);

  // Wait for the answer; a good one replaces this with the short gap (Callback).
  Arm(fTimeout);
}
