#pragma once
// A journal file on an imaginary disk that the test watches and steers: what was written, what
// of it was put on the disk, appends or syncs that start failing, and a sync that hangs until
// the test lets it go.

#include <QByteArray>
#include <QString>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>

#include "host/JournalFile.h"

struct TFakeDisk {
  std::mutex Mutex;
  std::condition_variable Changed;
  QString Path;
  QByteArray Written;
  qsizetype Synced = 0;  // bytes of Written on the disk
  int Appends = 0, Syncs = 0, FolderSyncs = 0;
  bool Open = false;
  // Appends from this one on (counted from 1) fail; 0: none does.
  int FailAppendFrom = 0;
  bool FailSync = false;
  // While set, a sync waits in the middle (InSync) until the test clears it.
  bool HoldSync = false;
  bool InSync = false;

  // Waits (up to seconds) until done holds, with Mutex taken while it is asked.
  bool WaitFor(const std::function<bool()>& done, int seconds = 10);
  void ReleaseSync();
};

// A file on disk: every file the maker makes writes to the same imaginary disk.
TJournalFileMaker FakeJournalFiles(const std::shared_ptr<TFakeDisk>& disk);
