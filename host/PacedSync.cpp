#include "host/PacedSync.h"

TPacedSync::TPacedSync(std::function<bool()> sync, std::chrono::milliseconds interval)
    : fSync(std::move(sync)), fInterval(interval), fThread([this] { Run(); }) {}

TPacedSync::~TPacedSync() { Stop(false); }

void TPacedSync::Touch() {
  {
    const std::lock_guard<std::mutex> lock(fMutex);
    fDirty = true;
  }
  fWake.notify_one();
}

void TPacedSync::Stop(bool flushPending) {
  {
    const std::lock_guard<std::mutex> lock(fMutex);
    if (fStopping) return;
    fStopping = true;
    fFlushPending = flushPending;
  }
  fWake.notify_one();
  fThread.join();
}

void TPacedSync::Run() {
  std::unique_lock<std::mutex> lock(fMutex);
  for (;;) {
    fWake.wait(lock, [this] { return fDirty || fStopping; });
    if (fStopping && !(fDirty && fFlushPending)) return;
    fDirty = false;
    const bool last = fStopping;
    lock.unlock();
    const auto next = std::chrono::steady_clock::now() + fInterval;
    if (!fSync()) fFailed = true;
    lock.lock();
    if (last) return;
    fWake.wait_until(lock, next, [this] { return fStopping; });
  }
}
