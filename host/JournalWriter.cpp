#include "host/JournalWriter.h"

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "host/JournalFile.h"

// Everything the thread uses, kept alive by the thread itself when Stop leaves it running.
struct TJournalWriter::TShared {
  std::unique_ptr<TJournalFile> File;
  TClock Clock;
  std::mutex Mutex;
  std::condition_variable Wake, Ended;
  std::deque<QByteArray> Records;
  bool Stopping = false;
  bool SyncOnStop = false;
  bool Finished = false;
  QString Failure;
  TFailureHandler OnFailure;

  // With Mutex held.
  void Fail(const QString& reason) {
    if (!Failure.isEmpty()) return;
    Failure = reason;
    if (OnFailure) OnFailure(reason);
  }
};

TJournalWriter::TJournalWriter(std::unique_ptr<TJournalFile> file, TClock clock)
    : fShared(std::make_shared<TShared>()) {
  fShared->File = std::move(file);
  fShared->Clock = clock ? std::move(clock) : TClock(&std::chrono::steady_clock::now);
  std::thread([shared = fShared] { Run(shared); }).detach();
}

TJournalWriter::~TJournalWriter() { Stop(false); }

void TJournalWriter::SetFailureHandler(TFailureHandler handler) {
  const std::lock_guard<std::mutex> lock(fShared->Mutex);
  fShared->OnFailure = std::move(handler);
}

void TJournalWriter::Append(QByteArray record) {
  {
    const std::lock_guard<std::mutex> lock(fShared->Mutex);
    fShared->Records.push_back(std::move(record));
  }
  fShared->Wake.notify_one();
}

bool TJournalWriter::Stop(bool sync) {
  std::unique_lock<std::mutex> lock(fShared->Mutex);
  if (fStopped) return fShared->Finished;
  fStopped = true;
  fShared->Stopping = true;
  fShared->SyncOnStop = sync;
  fShared->OnFailure = nullptr;
  fShared->Wake.notify_one();
  return fShared->Ended.wait_for(lock, kStopWait, [this] { return fShared->Finished; });
}

QString TJournalWriter::Failure() const {
  const std::lock_guard<std::mutex> lock(fShared->Mutex);
  return fShared->Failure;
}

void TJournalWriter::Run(const std::shared_ptr<TShared>& shared) {
  TShared& s = *shared;
  std::unique_lock<std::mutex> lock(s.Mutex);
  std::chrono::steady_clock::time_point nextSync{};  // the first data is synced at once
  bool unsynced = false;
  bool folderSynced = false;
  for (;;) {
    const auto due = [&s] { return !s.Records.empty() || s.Stopping; };
    // The time left is measured on the clock given, so a test's clock decides when a sync is due.
    if (unsynced)
      s.Wake.wait_for(lock, nextSync - s.Clock(), due);
    else
      s.Wake.wait(lock, due);
    while (!s.Records.empty()) {
      const QByteArray record = std::move(s.Records.front());
      s.Records.pop_front();
      if (!s.Failure.isEmpty()) continue;
      lock.unlock();
      const bool written = s.File->Append(record);
      lock.lock();
      if (!written) s.Fail(s.File->ErrorText());
      unsynced = unsynced || written;
    }
    const auto now = s.Clock();
    const bool finishing = s.Stopping && s.Records.empty();
    if (unsynced && (now >= nextSync || (finishing && s.SyncOnStop))) {
      lock.unlock();
      bool synced = s.File->DataSync();
      // A new file whose folder entry never reached the disk is lost with all its data.
      if (synced && !folderSynced) synced = folderSynced = s.File->FolderSync();
      lock.lock();
      if (!synced) s.Fail(QStringLiteral("the disk did not take the written data (%1)")
                              .arg(s.File->ErrorText()));
      unsynced = false;
      nextSync = now + kSyncInterval;
    }
    // Records given while the data was being synced are written before the thread ends.
    if (s.Stopping && s.Records.empty()) break;
  }
  lock.unlock();
  s.File->Close();
  lock.lock();
  s.Finished = true;
  s.Ended.notify_all();
}
