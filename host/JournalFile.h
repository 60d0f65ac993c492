#pragma once
// The platform's file for a journal that must outlive a crash of the program. A new journal is
// created exclusively (an existing file is never replaced) and stays under an exclusive lock
// while it is open, so another running copy of the program can tell a live journal from one a
// crashed run left behind; the lock goes with the process, however it ends. Records are
// appended with one write each, DataSync puts the written data on the disk and FolderSync the
// new file's name in its folder.
// journal_file_posix.cpp implements it over open, flock, write and fdatasync; another platform
// supplies its own implementation file, and tests a fake.

#include <QByteArray>
#include <QString>

#include <functional>
#include <memory>

enum class TJournalOpen {
  Opened,
  Busy,        // a running program holds the lock
  NotAFile,    // a folder, a pipe, a socket, a device or a link: never opened for reading
  Failed,
};

class TJournalFile {
 public:
  virtual ~TJournalFile() = default;

  // Creates path for appending; false when it already exists or cannot be made.
  virtual bool Create(const QString& path) = 0;
  // Opens an existing journal under the lock, without waiting for anything: a named pipe or any
  // other file that is not a regular file (a link to one included) is refused.
  virtual TJournalOpen Open(const QString& path) = 0;
  virtual void Close() = 0;

  // One write of the whole record; false when not all of it reached the file.
  virtual bool Append(const QByteArray& record) = 0;
  // The whole file as it stands on disk; false, with nothing read, when it holds more than
  // maxBytes.
  virtual bool ReadAll(QByteArray& contents, qint64 maxBytes) = 0;
  // Puts the data written so far on the disk.
  virtual bool DataSync() = 0;
  // Puts the entry of the file created last in its folder on the disk.
  virtual bool FolderSync() = 0;
  // The reason for the last failure, in words for the user.
  virtual QString ErrorText() const = 0;
};

using TJournalFileMaker = std::function<std::unique_ptr<TJournalFile>()>;
// The platform's journal file.
std::unique_ptr<TJournalFile> NewJournalFile();
