#include "logging/LogJournal.h"

#include <QDir>
#include <QFile>

#include <chrono>

#include "host/JournalWriter.h"
#include "logging/DataLog.h"
#include "logging/JournalFormat.h"

namespace {
constexpr std::chrono::milliseconds kSyncInterval{1000};
// Two digits keep the names of logs started in the same second in the order they were started.
constexpr int kMaxNameTries = 99;
}  // namespace

TLogJournal::TLogJournal(QString folder) : fFolder(std::move(folder)) {}

TLogJournal::~TLogJournal() { Keep(); }

bool TLogJournal::Begin(const std::vector<TLogRecord>& entries, int currentDivider) {
  Keep();
  fError.clear();
  if (entries.empty()) return false;
  const QString base = QStringLiteral("unsaved-log-") +
                       entries.front().Time.toString(QStringLiteral("yyyyMMdd-HHmmss"));
  for (int n = 1; n <= kMaxNameTries && !fFile.IsOpen(); ++n) {
    fPath = QDir(fFolder).filePath(base + QStringLiteral("-%1.journal").arg(n, 2, 10, QChar(u'0')));
    if (QFile::exists(fPath)) continue;
    if (!fFile.Create(fPath) && !QFile::exists(fPath)) break;
  }
  if (!fFile.IsOpen()) {
    fError = fFile.ErrorText();
    fPath.clear();
    return false;
  }
  // The header and the log so far in one write: a journal never lacks its header.
  QByteArray text = JournalHeader(entries.front().Time);
  for (const TLogRecord& entry : entries) text += JournalLine(entry, currentDivider);
  fWriter = std::make_unique<TJournalWriter>(fFile, kSyncInterval);
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
  // The writer's thread uses the file: it ends before the file is closed.
  if (fWriter) fWriter->Stop(flushPending);
  fWriter.reset();
  fFile.Close();
  fPath.clear();
}

void TLogJournal::Keep() { Close(true); }

void TLogJournal::Discard() {
  // Removed while still locked, so no other copy of the program takes it up meanwhile.
  if (fWriter) fWriter->Stop(false);
  fWriter.reset();
  if (!fPath.isEmpty()) QFile::remove(fPath);
  Close(false);
}
