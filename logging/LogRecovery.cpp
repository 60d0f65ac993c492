#include "logging/LogRecovery.h"

#include <QDir>
#include <QFile>
#include <QLocale>

#include "core/Dialogs.h"
#include "host/JournalFile.h"
#include "logging/JournalFormat.h"
#include "logging/LogFormat.h"
#include "logging/LogJournal.h"

namespace {
QString MomentText(const QDateTime& moment, const QLocale& locale) {
  return locale.toString(moment.date(), QLocale::ShortFormat) + u' ' + LogTimeText(moment, locale);
}

void ReportLeftAsItIs(QWidget* owner, const QString& path, const QString& reason) {
  ShowCenteredMessage(owner,
                      QStringLiteral("The log journal \"%1\" %2.\nIt is left as it is.")
                          .arg(QDir::toNativeSeparators(path), reason),
                      TMsgKind::Warning);
}
}  // namespace

TLogRecovery::TLogRecovery(QString folder) : fFolder(std::move(folder)) {}

void TLogRecovery::Offer(QWidget* owner, bool excel) {
  // The names carry the start of each log, so their order is the order the logs were taken in.
  const QStringList names = QDir(fFolder).entryList(
      {kJournalNameFilter}, QDir::Files | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot,
      QDir::Name);
  for (const QString& name : names) OfferJournal(owner, excel, QDir(fFolder).filePath(name));
}

void TLogRecovery::OfferJournal(QWidget* owner, bool excel, const QString& path) {
  // Held locked while the user decides, so a second copy started meanwhile leaves it alone.
  TJournalFile file;
  QByteArray contents;
  switch (file.Open(path)) {
    case TJournalOpen::Busy:
      return;
    case TJournalOpen::Failed:
      ReportLeftAsItIs(owner, path, QStringLiteral("cannot be read: ") + file.ErrorText());
      return;
    case TJournalOpen::Opened:
      break;
  }
  if (!file.ReadAll(contents)) {
    ReportLeftAsItIs(owner, path, QStringLiteral("cannot be read: ") + file.ErrorText());
    return;
  }
  TJournalContents journal = ParseJournal(contents);
  switch (journal.State) {
    case TJournalContents::TState::Foreign:
      ReportLeftAsItIs(owner, path, QStringLiteral("is not a log journal of this program"));
      return;
    case TJournalContents::TState::Damaged:
      ReportLeftAsItIs(
          owner, path,
          QStringLiteral("cannot be read: line %1 is damaged").arg(journal.DamagedLine));
      return;
    case TJournalContents::TState::Ours:
      break;
  }
  // Ended before its first entry was written whole: there is nothing to save.
  if (journal.Entries.empty()) {
    QFile::remove(path);
    return;
  }
  const QLocale locale;
  const QString question =
      QStringLiteral("A log of %1 entries recorded from %2 to %3 was not saved. Save it now?")
          .arg(journal.Entries.size())
          .arg(MomentText(journal.Start, locale), MomentText(journal.Entries.back().Time, locale));
  // No is the box's Discard and Later its Cancel, so Esc, closing the box or the program ending
  // meanwhile mean Later: only an explicit No throws a log away.
  const auto answer =
      ShowCenteredMessage(owner, question, TMsgKind::Confirmation,
                          QMessageBox::Yes | QMessageBox::Discard | QMessageBox::Cancel,
                          {{QMessageBox::Discard, QStringLiteral("No")},
                           {QMessageBox::Cancel, QStringLiteral("Later")}});
  if (answer == QMessageBox::Discard) {
    QFile::remove(path);
    return;
  }
  if (answer != QMessageBox::Yes) return;
  TDataLog log;
  if (fClock) log.SetClock(fClock);
  if (fDocumentOpener) log.SetDocumentOpener(fDocumentOpener);
  log.RestoreLog(std::move(journal.Entries), journal.CurrentDivider);
  // A save cancelled or failed keeps the journal: the question comes again at the next start.
  if (log.SaveLog(owner, excel)) QFile::remove(path);
}
