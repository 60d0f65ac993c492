#include "host/JournalFile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {
// What a file that is not a regular file is, in the words a user knows it by.
QString KindText(mode_t mode) {
  if (S_ISDIR(mode)) return QStringLiteral("it is a folder, not a file");
  if (S_ISFIFO(mode)) return QStringLiteral("it is a named pipe, not a file");
  if (S_ISSOCK(mode)) return QStringLiteral("it is a socket, not a file");
  if (S_ISLNK(mode)) return QStringLiteral("it is a link, not a file");
  return QStringLiteral("it is a device, not a file");
}

int OpenNoWait(const QByteArray& path, int access) {
  // Non-blocking, so a named pipe without a writer cannot hold the start-up.
  int fd;
  do {
    fd = ::open(path.constData(), access | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  return fd;
}

class TPosixJournalFile final : public TJournalFile {
 public:
  ~TPosixJournalFile() override { Close(); }

  bool Create(const QString& path) override {
    Close();
    // The log may hold what a user would rather keep private: the owner alone reads it.
    fFd = ::open(QFile::encodeName(path).constData(),
                 O_WRONLY | O_CREAT | O_EXCL | O_APPEND | O_CLOEXEC, 0600);
    if (fFd < 0) return Fail();
    if (::flock(fFd, LOCK_EX | LOCK_NB) != 0) {
      Fail();
      Close();
      return false;
    }
    fFolder = QFileInfo(path).absolutePath();
    return true;
  }

  TJournalOpen Open(const QString& path) override {
    Close();
    const QByteArray name = QFile::encodeName(path);
    // Read-write: over NFS an exclusive lock needs a file open for writing. A file or folder
    // that is only readable is still read, under a lock the local disk grants anyway.
    fFd = OpenNoWait(name, O_RDWR);
    if (fFd < 0 && (errno == EACCES || errno == EROFS || errno == EISDIR))
      fFd = OpenNoWait(name, O_RDONLY);
    struct stat status {};
    if (fFd < 0) {
      // A link (refused by O_NOFOLLOW) or a socket (which cannot be opened) is named for what it
      // is; anything else keeps the system's reason.
      if ((errno == ELOOP || errno == ENXIO) && ::lstat(name.constData(), &status) == 0 &&
          !S_ISREG(status.st_mode)) {
        fError = KindText(status.st_mode);
        return TJournalOpen::NotAFile;
      }
      Fail();
      return TJournalOpen::Failed;
    }
    if (::fstat(fFd, &status) != 0) {
      Fail();
      Close();
      return TJournalOpen::Failed;
    }
    if (!S_ISREG(status.st_mode)) {
      fError = KindText(status.st_mode);
      Close();
      return TJournalOpen::NotAFile;
    }
    if (::flock(fFd, LOCK_EX | LOCK_NB) != 0) {
      const bool busy = errno == EWOULDBLOCK;
      Fail();
      Close();
      return busy ? TJournalOpen::Busy : TJournalOpen::Failed;
    }
    return TJournalOpen::Opened;
  }

  void Close() override {
    if (fFd >= 0) ::close(fFd);
    fFd = -1;
  }

  bool Append(const QByteArray& record) override {
    ssize_t written;
    do {
      written = ::write(fFd, record.constData(), static_cast<size_t>(record.size()));
    } while (written < 0 && errno == EINTR);
    if (written < 0) return Fail();
    if (written != record.size()) {
      errno = ENOSPC;  // a short write to a regular file means the disk is full
      return Fail();
    }
    return true;
  }

  bool ReadAll(QByteArray& contents, qint64 maxBytes) override {
    contents.clear();
    char buffer[65536];
    for (;;) {
      const ssize_t got = ::read(fFd, buffer, sizeof buffer);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return Fail();
      if (got == 0) return true;
      // Counted as read, so a file that grows while it is read is capped as well.
      if (contents.size() + got > maxBytes) {
        contents.clear();
        fError = QStringLiteral("it is larger than %1 MiB").arg(maxBytes >> 20);
        return false;
      }
      contents.append(buffer, got);
    }
  }

  bool DataSync() override { return ::fdatasync(fFd) == 0 || Fail(); }

  bool FolderSync() override {
    const int folder = ::open(QFile::encodeName(fFolder).constData(),
                              O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0) return Fail();
    const bool synced = ::fsync(folder) == 0 || Fail();
    ::close(folder);
    return synced;
  }

  QString ErrorText() const override { return fError; }

 private:
  bool Fail() {
    fError = QString::fromLocal8Bit(std::strerror(errno));
    return false;
  }

  int fFd = -1;
  QString fFolder;
  QString fError;
};
}  // namespace

std::unique_ptr<TJournalFile> NewJournalFile() { return std::make_unique<TPosixJournalFile>(); }
