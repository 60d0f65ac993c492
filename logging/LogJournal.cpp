#include "logging/LogJournal.h"

#include <QDir>
#include <QFile>
#include <QObject>

#include "host/JournalWriter.h"
#include "logging/DataLog.h"
#include "logging/JournalFormat.h"

namespace {
// Two digits keep the names of logs started in the same second in the order they were started.
constexpr int kMaxNameTries = 99;
}  // namespace

TLogJournal::TLogJournal(QString folder, TJournalFileMaker maker)
    : fFolder(std::move(folder)), fMaker(maker ? std::move(maker) : TJournalFileMaker(&NewJournalFile)) {}

TLogJournal::~TLogJournal() { Keep(); }

bool TLogJournal::Begin(const std::vector<TLogRecord>& entries, int currentDivider) {
  Keep();
  fError.clear();
  if (entries.empty()) return false;
  const QString base = QStringLiteral("unsaved-log-") +
                       entries.front().Time.toString(QStringLiteral("yyyyMMdd-HHmmss"));
  std::unique_ptr<TJournalFile> file = fMaker();
  bool created = false;
  for (int n = 1; n <= kMaxNameTries && !created; ++n) {
    fPath = QDir(fFolder).filePath(base + QStringLiteral("-%1.journal").arg(n, 2, 10, QChar(u'0')));
    if (QFile::exists(fPath)) continue;
    created = file->Create(fPath);
    if (!created && !QFile::exists(fPath)) break;
  }
  if (!created) {
    fError = file->ErrorText();
    fPath.clear();
    return false;
  }
  // The header and the log so far in one write: a journal never lacks its header.
  QByteArray text = JournalHeader(entries.front().Time);
  for (const TLogRecord& entry : entries) text += JournalLine(entry, currentDivider);
  fContext = std::make_unique<QObject>();
  fWriter = std::make_unique<TJournalWriter>(std::move(file));
  fWriter->SetFailureHandler([this, context = fContext.get()](const QString& reason) {
    QMetaObject::invokeMethod(
        context, [this, reason] { if (fOnFailure) fOnFailure(reason); }, Qt::QueuedConnection);
  });
  fWriter->Append(std::move(text));
  return true;
}

bool TLogJournal::Append(const TLogRecord& entry, int currentDivider) {
  if (!fWriter) return false;
  fError = fWriter->Failure();
  if (!fError.isEmpty()) return false;
  fWriter->Append(JournalLine(entry, currentDivider));
  return true;
}

void TLogJournal::Close(bool flushPending) {
  // A disk that keeps the writer busy longer is left to its thread, which owns the file.
  if (fWriter) fWriter->Stop(flushPending);
  fWriter.reset();
  fContext.reset();
  fPath.clear();
}

void TLogJournal::Keep() { Close(true); }

bool TLogJournal::Discard() {
  // Removed while still locked, so no other copy of the program takes it up meanwhile.
  bool removed = true;
  if (!fPath.isEmpty()) {
    QFile file(fPath);
    removed = file.remove();
    if (!removed) fError = file.errorString();
  }
  Close(false);
  return removed;
}
