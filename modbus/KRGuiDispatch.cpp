#include "modbus/KRGuiDispatch.h"

#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <future>
#include <memory>

TKRGuiDispatch::~TKRGuiDispatch() {
  *fAlive = false;
  std::deque<TJob> discarded;
  std::lock_guard lock(fMutex);
  discarded.swap(fJobs);
}

bool TKRGuiDispatch::OnGuiThread() const { return QThread::currentThread() == thread(); }

void TKRGuiDispatch::Post(TJob AJob) {
  std::lock_guard lock(fMutex);
  fJobs.push_back(std::move(AJob));
  fPending.Set();
  if (!fDrainPosted) {
    fDrainPosted = true;
    // Invoked by name: the worker hands over nothing but the wake-up itself.
    QMetaObject::invokeMethod(this, "Drain", Qt::QueuedConnection);
  }
}

// The promise of a waited-for job: kept by the job, so that a job discarded unrun breaks it and
// frees the waiter; fulfilled when the job has run, or earlier by ReleaseCaller.
struct TKRGuiDispatch::TCallState {
  std::promise<void> Done;
  bool Released = false;
  void Release() {
    if (Released) return;
    Released = true;
    Done.set_value();
  }
};

bool TKRGuiDispatch::Call(TJob AJob) {
  if (OnGuiThread()) {
    AJob();
    return true;
  }
  auto state = std::make_shared<TCallState>();
  std::future<void> ran = state->Done.get_future();
  Post([this, job = std::move(AJob), state = std::move(state)] {
    struct TRunning {
      TKRGuiDispatch& Dispatch;
      std::shared_ptr<bool> Alive;
      TCallState* Outer;
      TCallState& State;
      ~TRunning() {
        if (*Alive) Dispatch.fRunningCall = Outer;
        State.Release();
      }
    } running{*this, fAlive, fRunningCall, *state};
    fRunningCall = state.get();
    job();
  });
  try {
    ran.get();
    return true;
  } catch (const std::future_error&) {
    return false;
  }
}

void TKRGuiDispatch::ReleaseCaller() {
  if (fRunningCall) fRunningCall->Release();
}

void TKRGuiDispatch::Drain() {
  const std::shared_ptr<bool> alive = fAlive;
  while (*alive) {
    TJob job;
    {
      std::lock_guard lock(fMutex);
      if (fJobs.empty()) {
        fPending.Reset();
        fDrainPosted = false;
        return;
      }
      job = std::move(fJobs.front());
      fJobs.pop_front();
    }
    job();
  }
}

bool TKRGuiDispatch::WaitServing(TKREvent& ADone, int64_t ATimeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const std::shared_ptr<bool> alive = fAlive;
  for (;;) {
    Drain();
    if (!*alive) return false;
    if (ADone.IsSet()) return true;
    int64_t left = -1;
    if (ATimeoutMs >= 0) {
      const auto spent =
          std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
      left = ATimeoutMs - spent;
      if (left <= 0) return false;
    }
    TKREvent::WaitAny({&ADone, &fPending}, left);
  }
}
