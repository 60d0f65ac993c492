#include "modbus/KRThreadQueue2.h"

TKRQueueItem* TKRThreadQueue2::Push(std::unique_ptr<TKRQueueItem> AItem) {
  std::lock_guard lock(fCriticalSection);
  if (!fActive) return nullptr;
  TKRQueueItem* item = AItem.get();
  fList.push_back(std::move(AItem));
  fSignalEvent.Set();
  fEmptyEvent.Reset();
  return item;
}

std::unique_ptr<TKRQueueItem> TKRThreadQueue2::Pop() {
  std::lock_guard lock(fCriticalSection);
  if (fList.empty()) return nullptr;
  std::unique_ptr<TKRQueueItem> item = std::move(fList.front());
  fList.pop_front();
  if (fList.empty()) {
    fSignalEvent.Reset();
    fEmptyEvent.Set();
  }
  return item;
}

int32_t TKRThreadQueue2::Count() const {
  std::lock_guard lock(fCriticalSection);
  return static_cast<int32_t>(fList.size());
}

bool TKRThreadQueue2::AtLeast(int32_t ACount) const { return Count() >= ACount; }

void TKRThreadQueue2::Clear() {
  std::deque<std::unique_ptr<TKRQueueItem>> discarded;
  {
    std::lock_guard lock(fCriticalSection);
    discarded.swap(fList);
    fSignalEvent.Reset();
    fEmptyEvent.Set();
  }
  // Released outside the lock: an item's destructor may do anything.
}

bool TKRThreadQueue2::Active() const {
  std::lock_guard lock(fCriticalSection);
  return fActive;
}

void TKRThreadQueue2::SetActive(bool Value) {
  std::deque<std::unique_ptr<TKRQueueItem>> discarded;  // released after the lock
  std::lock_guard lock(fCriticalSection);
  if (!Value && fActive) {
    discarded.swap(fList);
    fSignalEvent.Reset();
    fEmptyEvent.Set();
  }
  fActive = Value;
}
