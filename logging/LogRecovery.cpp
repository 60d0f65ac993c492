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
// A day-long log by the second is about 6 MiB; a month-long one fits too, a stray disk image not.
constexpr qint64 kMaxJournalBytes = qint64(256) << 20;
// Numbered names for a damaged journal kept aside, when the plain one is taken.
constexpr int kMaxKeptNames = 99;

QString Native(const QString& path) { return QDir::toNativeSeparators(path); }

QString MomentText(const QDateTime& moment, const QLocale& locale) {
  return locale.toString(moment.date(), QLocale::ShortFormat) + u' ' + LogTimeText(moment, locale);
}

void Warn(QWidget* owner, const QString& text) {
  ShowCenteredMessage(owner, text, TMsgKind::Warning);
}

void ReportLeftAsItIs(QWidget* owner, const QString& path, const QString& reason) {
  Warn(owner, QStringLiteral("The log journal \"%1\" %2.\nIt is left as it is.")
                  .arg(Native(path), reason));
}

// "line 12 is", "lines 12, 40 and 41 are", "lines 3, 4, 5, 6, 7 and 9 more are".
QString DamagedLinesText(const TJournalContents& journal) {
  QStringList numbers;
  for (const int line : journal.FirstDamagedLines) numbers << QString::number(line);
  if (journal.DamagedLines == 1) return QStringLiteral("line %1 is").arg(numbers.value(0));
  const int more = journal.DamagedLines - static_cast<int>(numbers.size());
  const QString last = more > 0 ? QStringLiteral("%1 more").arg(more) : numbers.takeLast();
  return QStringLiteral("lines %1 and %2 are").arg(numbers.join(QStringLiteral(", ")), last);
}

// Where a damaged journal is kept once answered: out of the journals' names, so it is not
// offered again, and beside them for whoever wants to look at it.
QString KeptName(const QString& path) {
  QString name = path + QStringLiteral(".damaged");
  for (int n = 2; n <= kMaxKeptNames && QFile::exists(name); ++n)
    name = path + QStringLiteral(".damaged-%1").arg(n);
  return name;
}

void Remove(QWidget* owner, const QString& path) {
  QFile file(path);
  if (!file.remove())
    Warn(owner, QStringLiteral("The log journal \"%1\" could not be removed: %2.\n"
                               "The next start asks about it again.")
                    .arg(Native(path), file.errorString()));
}

void KeepAside(QWidget* owner, const QString& path, const QString& kept) {
  QFile file(path);
  if (!file.rename(kept))
    Warn(owner, QStringLiteral("The log journal \"%1\" could not be renamed to \"%2\": %3.\n"
                               "The next start asks about it again.")
                    .arg(Native(path), Native(kept), file.errorString()));
}
}  // namespace

TLogRecovery::TLogRecovery(QString folder) : fFolder(std::move(folder)) {}

void TLogRecovery::Offer(QWidget* owner, bool excel) {
  // The names carry the start of each log, so their order is the order the logs were taken in.
  // Pipes, sockets and links are listed too, to be reported rather than passed over in silence.
  const QStringList names = QDir(fFolder).entryList(
      {kJournalNameFilter}, QDir::Files | QDir::System | QDir::Dirs | QDir::NoDotAndDotDot,
      QDir::Name);
  for (const QString& name : names) OfferJournal(owner, excel, QDir(fFolder).filePath(name));
}

void TLogRecovery::OfferJournal(QWidget* owner, bool excel, const QString& path) {
  // Held locked while the user decides, so a second copy started meanwhile leaves it alone.
  const std::unique_ptr<TJournalFile> file = NewJournalFile();
  QByteArray contents;
  switch (file->Open(path)) {
    case TJournalOpen::Busy:
      return;
    case TJournalOpen::NotAFile:
    case TJournalOpen::Failed:
      ReportLeftAsItIs(owner, path, QStringLiteral("cannot be read: ") + file->ErrorText());
      return;
    case TJournalOpen::Opened:
      break;
  }
  if (!file->ReadAll(contents, kMaxJournalBytes)) {
    ReportLeftAsItIs(owner, path, QStringLiteral("cannot be read: ") + file->ErrorText());
    return;
  }
  TJournalContents journal = ParseJournal(contents);
  contents.clear();
  switch (journal.State) {
    case TJournalContents::TState::Foreign:
      ReportLeftAsItIs(owner, path, QStringLiteral("is not a log journal of this program"));
      return;
    case TJournalContents::TState::Newer:
      ReportLeftAsItIs(owner, path,
                       QStringLiteral("was written by a newer version of the program (journal "
                                      "format %1)")
                           .arg(journal.Version));
      return;
    case TJournalContents::TState::Ours:
      break;
  }
  const bool damaged = journal.DamagedLines > 0;
  const QString kept = damaged ? KeptName(path) : QString();
  // What the user answered about is done with: removed, or kept aside when damaged.
  const auto done = [&] { damaged ? KeepAside(owner, path, kept) : Remove(owner, path); };
  if (journal.Entries.empty()) {
    // Ended before its first entry was written whole: there is nothing to save.
    if (damaged)
      Warn(owner, QStringLiteral("The log journal \"%1\" cannot be read: no line of it is a whole "
                                 "entry.\nIt is kept as \"%2\".")
                      .arg(Native(path), Native(kept)));
    done();
    return;
  }
  const QLocale locale;
  const qsizetype count = static_cast<qsizetype>(journal.Entries.size());
  QString question =
      QStringLiteral("A log of %1 %2 recorded from %3 to %4 was not saved. Save it now?")
          .arg(count)
          .arg(count == 1 ? QStringLiteral("entry") : QStringLiteral("entries"))
          .arg(MomentText(journal.Start, locale),
               MomentText(journal.Entries.back().Time, locale));
  if (damaged)
    question = QStringLiteral("The log journal \"%1\" is damaged: %2 left out. After your answer "
                              "it is kept as \"%3\" and not offered again.\n\n")
                   .arg(Native(path), DamagedLinesText(journal), Native(kept)) +
               question;
  // No is the box's Discard and Later its Cancel, so Esc, closing the box or the program ending
  // meanwhile mean Later: only an explicit No throws a log away.
  const auto answer =
      ShowCenteredMessage(owner, question, TMsgKind::Confirmation,
                          QMessageBox::Yes | QMessageBox::Discard | QMessageBox::Cancel,
                          {{QMessageBox::Discard, QStringLiteral("No")},
                           {QMessageBox::Cancel, QStringLiteral("Later")}});
  if (answer == QMessageBox::Discard) {
    done();
    return;
  }
  if (answer != QMessageBox::Yes) return;
  TDataLog log;
  if (fClock) log.SetClock(fClock);
  if (fDocumentOpener) log.SetDocumentOpener(fDocumentOpener);
  log.RestoreLog(std::move(journal.Entries), journal.CurrentDivider);
  // A save cancelled or failed keeps the journal: the question comes again at the next start.
  if (log.SaveLog(owner, excel)) done();
}
