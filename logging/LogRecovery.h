#pragma once
// At start-up: the journals an earlier run left in the data folder (a crash, a kill, a power cut,
// a session that ended without saving) are offered to the user one by one, oldest first: Yes
// saves the log through the normal save dialog, No throws it away, Later keeps it for the next
// start (as does closing the question without an answer). A journal another running copy of the
// program is writing is left alone. Damaged lines are left out and said; once the user has
// answered, a damaged journal is kept aside as "<name>.journal.damaged". Anything named like a
// journal that is no regular file (a pipe, a socket, a link), is not ours or is too large is
// reported and left as it is, and never waited for.

#include <QString>

#include "logging/DataLog.h"

class QWidget;

class TLogRecovery {
 public:
  explicit TLogRecovery(QString folder);

  // Asks about every journal in the folder; excel chooses the format of a save.
  void Offer(QWidget* owner, bool excel);

  // For the save (see TDataLog).
  void SetClock(TDataLog::TClock clock) { fClock = std::move(clock); }
  void SetDocumentOpener(TDataLog::TDocumentOpener opener) { fDocumentOpener = std::move(opener); }

 private:
  void OfferJournal(QWidget* owner, bool excel, const QString& path);

  QString fFolder;
  TDataLog::TClock fClock;
  TDataLog::TDocumentOpener fDocumentOpener;
};
