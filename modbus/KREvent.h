#pragma once
// A manual-reset event: stays set until reset, wakes every waiter; a thread can wait for the
// first of several.

#include <condition_variable>
#include <cstdint>
#include <initializer_list>
#include <mutex>
#include <vector>

class TKREvent {
 public:
  explicit TKREvent(bool aInitiallySet = false) : fSet(aInitiallySet) {}
  TKREvent(const TKREvent&) = delete;
  TKREvent& operator=(const TKREvent&) = delete;

  void Set();
  void Reset();
  bool IsSet() const;
  // True when the event is set within aTimeoutMs (negative: no limit).
  bool WaitFor(int64_t aTimeoutMs);

  // Index of an event found set, or -1 when aTimeoutMs (negative: no limit) passed first.
  static int WaitAny(std::initializer_list<TKREvent*> aEvents, int64_t aTimeoutMs);

 private:
  struct TWaiter {
    std::mutex Mutex;
    std::condition_variable Cond;
    bool Woken = false;
  };
  void Subscribe(TWaiter* aWaiter);
  void Unsubscribe(TWaiter* aWaiter);

  mutable std::mutex fMutex;
  bool fSet;
  std::vector<TWaiter*> fWaiters;
};
