#pragma once
// A lock-protected first-in-first-out queue of work items with two signals: one set while items
// wait (the worker's wake-up), one set while the queue is empty.

#include "modbus/KREvent.h"

#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>

// Anything queued; the queue owns it and releases it when it is cleared.
class TKRQueueItem {
 public:
  virtual ~TKRQueueItem() = default;
};

class TKRThreadQueue2 {
 public:
  TKRThreadQueue2() = default;
  ~TKRThreadQueue2() { Clear(); }
  TKRThreadQueue2(const TKRThreadQueue2&) = delete;
  TKRThreadQueue2& operator=(const TKRThreadQueue2&) = delete;

  // Queues the item and returns it; an inactive queue releases it and returns null.
  TKRQueueItem* Push(std::unique_ptr<TKRQueueItem> AItem);
  // The oldest item, or null when the queue is empty.
  std::unique_ptr<TKRQueueItem> Pop();
  int32_t Count() const;
  bool AtLeast(int32_t ACount) const;
  // Releases every item; nobody is told.
  void Clear();
  bool Active() const;
  // Deactivating an active queue clears it first.
  void SetActive(bool Value);
  // Returns when the queue is empty or aTimeOut milliseconds have passed.
  void WaitForEmpty(uint32_t aTimeOut) { fEmptyEvent.WaitFor(aTimeOut); }

  TKREvent& SignalEvent() { return fSignalEvent; }
  TKREvent& EmptyEvent() { return fEmptyEvent; }

 private:
  std::deque<std::unique_ptr<TKRQueueItem>> fList;  // front: oldest
  mutable std::mutex fCriticalSection;
  TKREvent fSignalEvent{false};
  TKREvent fEmptyEvent{true};
  bool fActive = false;
};
