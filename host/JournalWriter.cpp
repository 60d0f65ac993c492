#include "host/JournalWriter.h"

#include "host/JournalFile.h"

TJournalWriter::TJournalWriter(TJournalFile& file, std::chrono::milliseconds interval)
    : fFile(file), fInterval(interval), fThread([this] { Run(); }) {}

TJournalWriter::~TJournalWriter() { Stop(false); }

void TJournalWriter::Append(QByteArray record) {
  {
    const std::lock_guard<std::mutex> lock(fMutex);
    fRecords.push_back(std::move(record));
  }
  fWake.notify_one();
}

void TJournalWriter::Stop(bool sync) {
  {
    const std::lock_guard<std::mutex> lock(fMutex);
    if (fStopping) return;
    fStopping = true;
    fSyncOnStop = sync;
  }
  fWake.notify_one();
  fThread.join();
}

QString TJournalWriter::Failure() const {
  const std::lock_guard<std::mutex> lock(fMutex);
  return fFailure;
}

void TJournalWriter::Run() {
  using Clock = std::chrono::steady_clock;
  std::unique_lock<std::mutex> lock(fMutex);
  Clock::time_point nextSync{};  // the first data is synced at once
  bool unsynced = false;
  for (;;) {
    const auto due = [this] { return !fRecords.empty() || fStopping; };
    if (unsynced)
      fWake.wait_until(lock, nextSync, due);
    else
      fWake.wait(lock, due);
    while (!fRecords.empty()) {
      const QByteArray record = std::move(fRecords.front());
      fRecords.pop_front();
      if (!fFailure.isEmpty()) continue;
      lock.unlock();
      const bool written = fFile.Append(record);
      lock.lock();
      if (!written) fFailure = fFile.ErrorText();
      unsynced = unsynced || written;
    }
    const Clock::time_point now = Clock::now();
    const bool finishing = fStopping && fRecords.empty();
    if (unsynced && (now >= nextSync || (finishing && fSyncOnStop))) {
      lock.unlock();
      const bool synced = fFile.DataSync();
      lock.lock();
      if (!synced && fFailure.isEmpty())
        fFailure = QStringLiteral("the disk did not take the written data");
      unsynced = false;
      nextSync = now + fInterval;
    }
    // Records given while the data was being synced are written before the thread ends.
    if (fStopping && fRecords.empty()) return;
  }
}
