#pragma once
// Puts a journal's new data on the disk from a thread of its own, so the GUI thread never waits
// for the disk: after data is written, at most once per interval. A power cut then loses at most
// the last interval of it.

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

class TPacedSync {
 public:
  // sync puts the data on the disk and tells whether it could.
  TPacedSync(std::function<bool()> sync, std::chrono::milliseconds interval);
  // Stops without the last sync (see Stop).
  ~TPacedSync();
  TPacedSync(const TPacedSync&) = delete;
  TPacedSync& operator=(const TPacedSync&) = delete;

  // New data was written.
  void Touch();
  // Ends the thread; with flushPending, data written since the last sync is synced first.
  void Stop(bool flushPending);
  // A sync has failed since the start.
  bool Failed() const { return fFailed; }

 private:
  void Run();

  std::function<bool()> fSync;
  const std::chrono::milliseconds fInterval;
  std::mutex fMutex;
  std::condition_variable fWake;
  bool fDirty = false;
  bool fStopping = false;
  bool fFlushPending = false;
  std::atomic<bool> fFailed{false};
  std::thread fThread;
};
