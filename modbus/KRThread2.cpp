#include "modbus/KRThread2.h"

TKRThread2::TKRThread2(TKREvent& aWaitEvent) : fWakeEvent(aWaitEvent) {
  fThread = std::thread([this] { Execute(); });
}

TKRThread2::~TKRThread2() {
  Terminate();
  WaitFor();
}

void TKRThread2::SetActive(bool Value) {
  fActive = Value;
  if (Value) fActiveEvent.Set();
  else fActiveEvent.Reset();
}

void TKRThread2::Terminate() {
  fTerminated = true;
  fTerminateEvent.Set();
}

void TKRThread2::WaitFor() {
  if (fThread.joinable()) fThread.join();
}

void TKRThread2::Execute() {
  while (!fTerminated) {
    const int woken = TKREvent::WaitAny({&fTerminateEvent, &fWakeEvent}, -1);
    if (woken != 1) break;
    // The wake event stays set while items wait: one unit per pass, no sleep until empty.
    if (fActive) Work();
    // Woken while inactive: sleep until activated instead of spinning on the wake event.
    else TKREvent::WaitAny({&fTerminateEvent, &fActiveEvent}, -1);
  }
  fFinished.Set();
}
