#pragma once
// The platform's file for a journal that must outlive a crash of the program. A new journal is
// created exclusively (an existing file is never replaced) and stays under an exclusive lock
// while it is open, so another running copy of the program can tell a live journal from one a
// crashed run left behind; the lock goes with the process, however it ends. Records are
// appended with one write each, and DataSync puts the written data on the disk.
// journal_file_posix.cpp implements it over open, flock, write and fdatasync; another platform
// supplies its own implementation file.

#include <QByteArray>
#include <QString>

enum class TJournalOpen { Opened, Busy, Failed };

class TJournalFile {
 public:
  TJournalFile() = default;
  ~TJournalFile() { Close(); }
  TJournalFile(const TJournalFile&) = delete;
  TJournalFile& operator=(const TJournalFile&) = delete;

  // Creates path for appending; false when it already exists or cannot be made.
  bool Create(const QString& path);
  // Opens an existing journal for reading under the lock. Busy: a running program holds it.
  TJournalOpen Open(const QString& path);
  void Close();
  bool IsOpen() const { return fFd >= 0; }

  // One write of the whole record; false when not all of it reached the file.
  bool Append(const QByteArray& record);
  // The whole file as it stands on disk.
  bool ReadAll(QByteArray& contents);
  // Safe to call from another thread while the owner appends (but not while it closes).
  bool DataSync() const;
  // The system's reason for the last failure.
  const QString& ErrorText() const { return fError; }

 private:
  bool Fail();
  int fFd = -1;
  QString fError;
};
