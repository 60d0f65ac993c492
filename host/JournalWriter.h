#pragma once
// Writes the records of a journal from a thread of its own, so the GUI thread never waits for
// the disk (a write can wait while the disk takes earlier data): one write per record, in the
// order given, and the written data put on the disk at most once per kSyncInterval; the new
// file's folder entry once, with the first data. A power cut then loses at most the last
// interval; a killed program loses only records it had not yet written, a moment's worth.

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>
#include <memory>

class TJournalFile;

class TJournalWriter {
 public:
  using TClock = std::function<std::chrono::steady_clock::time_point()>;
  // Called from the writer's thread, once, when writing or syncing first fails.
  using TFailureHandler = std::function<void(const QString& reason)>;

  static constexpr std::chrono::milliseconds kSyncInterval{1000};
  // The longest Stop waits for the thread; a disk that takes longer is left to it.
  static constexpr std::chrono::milliseconds kStopWait{500};

  // Takes file, created and open; clock is for tests (the steady clock when empty).
  explicit TJournalWriter(std::unique_ptr<TJournalFile> file, TClock clock = {});
  // Stops as Stop(false) does.
  ~TJournalWriter();
  TJournalWriter(const TJournalWriter&) = delete;
  TJournalWriter& operator=(const TJournalWriter&) = delete;

  void SetFailureHandler(TFailureHandler handler);
  void Append(QByteArray record);
  // Lets the thread end once every record given is written (with sync, once the data is on the
  // disk too) and then close the file. Waits for that at most kStopWait: a disk still busy then
  // is left to the thread, which ends on its own. The failure handler is not called afterwards.
  // True when the thread had ended.
  bool Stop(bool sync);
  // Why writing or syncing failed; empty while nothing has. After a failure nothing more is
  // written, so the file ends with whole records.
  QString Failure() const;

 private:
  struct TShared;
  static void Run(const std::shared_ptr<TShared>& shared);

  std::shared_ptr<TShared> fShared;
  bool fStopped = false;
};
