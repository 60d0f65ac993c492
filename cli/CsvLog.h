#pragma once
// A CSV log for long watching: opened for appending, a header only when the file is new or
// empty, and every line flushed as it is written, so that a crash or a pulled cable loses at
// most the line being written; the data is put on the disk at most a second after it was
// written (and when the log ends), so a power cut loses at most the last second. A file that starts with another header is refused. Times are
// ISO 8601 with the UTC offset, decimals use ".".

#include <QElapsedTimer>
#include <QFile>
#include <QString>
#include <QStringList>

class TCsvLog {
 public:
  // Opens aFileName for appending; check Error() afterwards.
  TCsvLog(const QString& aFileName, const QStringList& aHeader);
  // The lines written are put on the disk.
  ~TCsvLog();

  // Empty while the file is usable.
  const QString& Error() const { return fError; }
  // The file cannot take this log, a usage error: it holds another log (its first line is
  // another header), or it cannot be opened for writing.
  bool Unusable() const { return fUnusable; }
  // One row; fields that need it are quoted.
  bool Write(const QStringList& aFields);

  static QString Quoted(const QString& aField);

 private:
  static QByteArray Line(const QStringList& aFields);
  bool WriteLine(const QByteArray& aLine);
  void Sync();

  QFile fFile;
  bool fRegular = false;
  bool fUnsynced = false;
  QElapsedTimer fSinceSync;
  QString fError;
  bool fUnusable = false;
};

// The current local time as "2026-12-09T15:37:28.123+01:00".
QString IsoTimeNow();
