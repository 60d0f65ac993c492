#include "cli/CsvLog.h"

#include <QDateTime>
#include <QFileInfo>

#include <unistd.h>

namespace {
constexpr qint64 kSyncIntervalMs = 1000;
}  // namespace

TCsvLog::TCsvLog(const QString& aFileName, const QStringList& aHeader) : fFile(aFileName) {
  const QByteArray header = Line(aHeader);
  bool endPartialLine = false;
  // Only a regular file is read back: a pipe or a device (/dev/stdout) is just written to.
  const QFileInfo info(aFileName);
  const bool regular = !info.exists() || info.isFile();
  QFile existing(aFileName);
  if (regular && existing.open(QIODevice::ReadOnly) && existing.size() > 0) {
    // Rows of another layout would be mixed into it: such a file is not continued.
    // A spreadsheet program that saved the file may have put a byte-order mark before it.
    QByteArray first = existing.readLine();
    if (first.startsWith("\xEF\xBB\xBF")) first.remove(0, 3);
    if (first.trimmed() != header.trimmed()) {
      fError = aFileName + ": its first line is not the header of this log; give a new file";
      fUnusable = true;
      return;
    }
    // A row cut off by a crash or a full disk is ended, not glued onto the next one.
    existing.seek(existing.size() - 1);
    endPartialLine = existing.read(1) != "\n";
  }
  existing.close();
  fRegular = regular;
  if (!fFile.open(regular ? QIODevice::WriteOnly | QIODevice::Append : QIODevice::WriteOnly)) {
    fError = aFileName + ": " + fFile.errorString();
    fUnusable = true;
    return;
  }
  if (!regular || fFile.size() == 0)
    WriteLine(header);
  else if (endPartialLine)
    WriteLine("\n");
}

QString TCsvLog::Quoted(const QString& aField) {
  if (!aField.contains(QChar(',')) && !aField.contains(QChar('"')) && !aField.contains(QChar('\n')))
    return aField;
  QString doubled = aField;
  doubled.replace(QChar('"'), QString("\"\""));
  return QChar('"') + doubled + QChar('"');
}

QByteArray TCsvLog::Line(const QStringList& aFields) {
  QStringList quoted;
  for (const QString& f : aFields) quoted << Quoted(f);
  return (quoted.join(QChar(',')) + QChar('\n')).toUtf8();
}

TCsvLog::~TCsvLog() {
  if (fUnsynced) Sync();
}

bool TCsvLog::Write(const QStringList& aFields) { return WriteLine(Line(aFields)); }

void TCsvLog::Sync() {
  // Only a file on a disk is synced; a pipe or a terminal has nothing to put there.
  if (fRegular && ::fdatasync(fFile.handle()) != 0 && fError.isEmpty())
    fError = fFile.fileName() + ": the disk did not take the written data";
  fUnsynced = false;
  fSinceSync.start();
}

bool TCsvLog::WriteLine(const QByteArray& aLine) {
  if (!fError.isEmpty()) return false;
  if (fFile.write(aLine) != aLine.size() || !fFile.flush()) {
    fError = fFile.fileName() + ": " + fFile.errorString();
    return false;
  }
  fUnsynced = true;
  if (!fSinceSync.isValid() || fSinceSync.elapsed() >= kSyncIntervalMs) Sync();
  return fError.isEmpty();
}

QString IsoTimeNow() {
  const QDateTime now = QDateTime::currentDateTime();
  return now.toOffsetFromUtc(now.offsetFromUtc()).toString(Qt::ISODateWithMs);
}
