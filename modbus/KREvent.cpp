#include "modbus/KREvent.h"

#include <algorithm>
#include <chrono>

void TKREvent::Set() {
  std::lock_guard lock(fMutex);
  fSet = true;
  for (TWaiter* w : fWaiters) {
    {
      std::lock_guard wl(w->Mutex);
      w->Woken = true;
    }
    // Woken after the waiter's lock is released, or the waiter would wake only to wait for it
    // again. The waiter cannot leave meanwhile: unsubscribing needs this event's lock.
    w->Cond.notify_one();
  }
}

void TKREvent::Reset() {
  std::lock_guard lock(fMutex);
  fSet = false;
}

bool TKREvent::IsSet() const {
  std::lock_guard lock(fMutex);
  return fSet;
}

bool TKREvent::WaitFor(int64_t aTimeoutMs) { return WaitAny({this}, aTimeoutMs) == 0; }

void TKREvent::Subscribe(TWaiter* aWaiter) {
  std::lock_guard lock(fMutex);
  fWaiters.push_back(aWaiter);
}

void TKREvent::Unsubscribe(TWaiter* aWaiter) {
  std::lock_guard lock(fMutex);
  fWaiters.erase(std::remove(fWaiters.begin(), fWaiters.end(), aWaiter), fWaiters.end());
}

int TKREvent::WaitAny(std::initializer_list<TKREvent*> aEvents, int64_t aTimeoutMs) {
  using Clock = std::chrono::steady_clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(std::max<int64_t>(aTimeoutMs, 0));
  TWaiter waiter;
  for (TKREvent* e : aEvents) e->Subscribe(&waiter);
  int found = -1;
  for (;;) {
    int i = 0;
    for (TKREvent* e : aEvents) {
      if (e->IsSet()) {
        found = i;
        break;
      }
      ++i;
    }
    if (found >= 0) break;
    std::unique_lock wl(waiter.Mutex);
    if (aTimeoutMs < 0) {
      waiter.Cond.wait(wl, [&] { return waiter.Woken; });
    } else if (!waiter.Cond.wait_until(wl, deadline, [&] { return waiter.Woken; })) {
      break;
    }
    waiter.Woken = false;
  }
  for (TKREvent* e : aEvents) e->Unsubscribe(&waiter);
  return found;
}
