#pragma once
// Writes the records of a journal from a thread of its own, so the GUI thread never waits for
// the disk (a write can wait while the disk takes earlier data): one write per record, in the
// order given, and the written data put on the disk at most once per interval. A power cut then
// loses at most the last interval; a killed program loses only records it had not yet written, a
// moment's worth.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

class TJournalFile;

class TJournalWriter {
 public:
  TJournalWriter(TJournalFile& file, std::chrono::milliseconds interval);
  // Stops as Stop(false) does.
  ~TJournalWriter();
  TJournalWriter(const TJournalWriter&) = delete;
  TJournalWriter& operator=(const TJournalWriter&) = delete;

  void Append(QByteArray record);
  // Ends the thread once every record given is written; with sync, the data is put on the disk
  // first. The file is the owner's again afterwards.
  void Stop(bool sync);
  // Why writing or syncing failed; empty while nothing has. After a failure nothing more is
  // written, so the file ends with whole records.
  QString Failure() const;

 private:
  void Run();

  TJournalFile& fFile;
  const std::chrono::milliseconds fInterval;
  mutable std::mutex fMutex;
  std::condition_variable fWake;
  std::deque<QByteArray> fRecords;
  bool fStopping = false;
  bool fSyncOnStop = false;
  QString fFailure;
  std::thread fThread;
};
