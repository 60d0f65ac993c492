#pragma once
// Runs a worker's results, status changes and waited-for calls on the GUI thread, all in posting
// order. A GUI-thread wait for a worker goes through WaitServing, which keeps running the calls
// the worker may be blocked on, so that stopping a worker never deadlocks.

#include "modbus/KREvent.h"

#include <QObject>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>

class TKRGuiDispatch : public QObject {
  Q_OBJECT

 public:
  using TJob = std::function<void()>;

  // Lives in the thread that creates it: the GUI thread.
  explicit TKRGuiDispatch(QObject* parent = nullptr) : QObject(parent) {}
  ~TKRGuiDispatch() override;

  // Any thread: AJob runs later on the GUI thread, after every job posted before it.
  void Post(TJob AJob);
  // Worker: AJob runs on the GUI thread in posting order; returns when it has run, or false when
  // it was discarded unrun. On the GUI thread itself it runs at once.
  bool Call(TJob AJob);
  // GUI thread: runs the jobs waiting now and those they post. A job may destroy this dispatch
  // (a handler that deletes its connector): the drain then ends at once.
  Q_INVOKABLE void Drain();
  // GUI thread: returns when ADone is set (true) or ATimeoutMs (negative: no limit) has passed,
  // running jobs as they arrive meanwhile. Returns false at once when a job destroyed this
  // dispatch; ADone, and whatever owned the dispatch, are then gone too.
  bool WaitServing(TKREvent& ADone, int64_t ATimeoutMs = -1);
  // Cleared when the dispatch is destroyed: lets a caller that served jobs tell whether its
  // owner still exists.
  std::shared_ptr<const bool> Alive() const { return fAlive; }
  // GUI thread, from inside a job that a worker waits for through Call: lets that worker go on
  // at once. A handler that stops the worker does so, or the two would wait for each other.
  void ReleaseCaller();

 private:
  struct TCallState;
  bool OnGuiThread() const;

  std::mutex fMutex;
  std::deque<TJob> fJobs;
  bool fDrainPosted = false;
  TKREvent fPending;  // set while jobs wait
  TCallState* fRunningCall = nullptr;  // the innermost waited-for job now running
  std::shared_ptr<bool> fAlive = std::make_shared<bool>(true);
};
