#pragma once
// The journal of the log being recorded: every entry also goes to a file of its own in the
// program's data folder, one line per entry written as it comes (from a thread of its own), and
// its data reaches the disk at most a second later. A crash, a kill or a power cut then loses at
// most the last second of the log; the next start offers what the file holds (see LogRecovery.h).

#include <QString>

#include <functional>
#include <memory>
#include <vector>

#include "host/JournalFile.h"

class QObject;
class TJournalWriter;
struct TLogRecord;

// Journals are the files "unsaved-log-<yyyyMMdd-HHmmss of the start>-<nn>.journal" of the data
// folder, nn counting the logs started in the same second.
inline const QString kJournalNameFilter = QStringLiteral("*.journal");

class TLogJournal {
 public:
  // Called on the thread that began the journal, as soon as a line could not be written or put
  // on the disk (the writing goes on in the background, so this comes between entries).
  using TFailureHandler = std::function<void(const QString& reason)>;

  // maker makes the journal's files (the platform's when empty).
  explicit TLogJournal(QString folder, TJournalFileMaker maker = {});
  // An open journal is kept, as Keep does.
  ~TLogJournal();
  TLogJournal(const TLogJournal&) = delete;
  TLogJournal& operator=(const TLogJournal&) = delete;

  bool IsOpen() const { return fWriter != nullptr; }
  // Full path of the open journal.
  const QString& Path() const { return fPath; }
  void SetFailureHandler(TFailureHandler handler) { fOnFailure = std::move(handler); }

  // Starts a new file holding entries (the log so far, at least one entry). An existing file is
  // never replaced: a name already taken gets the next number. False when the file could not be
  // made.
  bool Begin(const std::vector<TLogRecord>& entries, int currentDivider);
  // Hands the entry's line over to be written with one write. False when an earlier line did not
  // reach the file whole or could not be put on the disk.
  bool Append(const TLogRecord& entry, int currentDivider);
  // Closes the file with its data on the disk and leaves it for the next start.
  void Keep();
  // Removes the file: the log was saved or thrown away on purpose. False when the file stays
  // (a read-only folder); ErrorText says why.
  bool Discard();
  // Why Begin, Append or Discard failed.
  const QString& ErrorText() const { return fError; }

 private:
  void Close(bool flushPending);

  QString fFolder;
  TJournalFileMaker fMaker;
  QString fPath;
  QString fError;
  TFailureHandler fOnFailure;
  // Failures reach the journal's thread through it; deleted with the writer, it takes the news
  // of an earlier journal along.
  std::unique_ptr<QObject> fContext;
  std::unique_ptr<TJournalWriter> fWriter;
};
