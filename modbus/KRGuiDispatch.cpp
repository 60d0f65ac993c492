#include "modbus/KRGuiDispatch.h"

#include <QMetaObject>
#include <QThread>

#include <chrono>
#include <future>
#include <memory>

TKRGuiDispatch::~TKRGuiDispatch() {
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

bool TKRGuiDispatch::Call(TJob AJob) {
  if (OnGuiThread()) {
    AJob();
    return true;
  }
  // The promise is kept by the job: a job discarded unrun breaks it and frees the waiter.
  auto done = std::make_shared<std::promise<void>>();
  std::future<void> ran = done->get_future();
  Post([job = std::move(AJob), done = std::move(done)] {
    struct TSignal {
      std::promise<void>& Done;
      ~TSignal() { Done.set_value(); }
    } signal{*done};
    job();
  });
  try {
    ran.get();
    return true;
  } catch (const std::future_error&) {
    return false;
  }
}

void TKRGuiDispatch::Drain() {
  for (;;) {
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
  for (;;) {
    Drain();
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
