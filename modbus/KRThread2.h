#pragma once
// A worker thread that sleeps until its wake event is set and then, while active, runs one unit
// of work per wake-up. Stopped by Terminate followed by WaitFor, and only then destroyed.

#include "modbus/KREvent.h"

#include <atomic>
#include <cstdint>
#include <thread>

class TKRThread2 {
 public:
  // Starts the thread at once; it sleeps until aWaitEvent is set.
  explicit TKRThread2(TKREvent& aWaitEvent);
  virtual ~TKRThread2();
  TKRThread2(const TKRThread2&) = delete;
  TKRThread2& operator=(const TKRThread2&) = delete;

  bool Active() const { return fActive; }
  virtual void SetActive(bool Value);
  bool Working() const { return !fTerminated; }
  bool Terminated() const { return fTerminated; }

  // Sets the terminate flag and wakes a sleeping worker.
  void Terminate();
  // Blocks until the thread has ended. Callers that must keep serving the worker wait on
  // FinishedEvent() first.
  void WaitFor();
  TKREvent& FinishedEvent() { return fFinished; }

 protected:
  // One unit of work; called on the thread, once per wake-up while active.
  virtual void Work() = 0;

 private:
  void Execute();

  std::atomic<bool> fActive{false};
  std::atomic<bool> fTerminated{false};
  TKREvent fActiveEvent;  // mirrors fActive, so an inactive worker sleeps
  TKREvent fTerminateEvent;
  TKREvent& fWakeEvent;
  TKREvent fFinished;
  std::thread fThread;
};
