#include "host/JournalFile.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

bool TJournalFile::Fail() {
  fError = QString::fromLocal8Bit(std::strerror(errno));
  return false;
}

bool TJournalFile::Create(const QString& path) {
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
  return true;
}

TJournalOpen TJournalFile::Open(const QString& path) {
  Close();
  fFd = ::open(QFile::encodeName(path).constData(), O_RDONLY | O_CLOEXEC);
  if (fFd < 0) {
    Fail();
    return TJournalOpen::Failed;
  }
  if (::flock(fFd, LOCK_EX | LOCK_NB) != 0) {
    const bool busy = errno == EWOULDBLOCK;
    Fail();
    Close();
    return busy ? TJournalOpen::Busy : TJournalOpen::Failed;
  }
  return TJournalOpen::Opened;
}

void TJournalFile::Close() {
  if (fFd >= 0) ::close(fFd);
  fFd = -1;
}

bool TJournalFile::Append(const QByteArray& record) {
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

bool TJournalFile::ReadAll(QByteArray& contents) {
  contents.clear();
  char buffer[65536];
  for (;;) {
    const ssize_t got = ::read(fFd, buffer, sizeof buffer);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return Fail();
    if (got == 0) return true;
    contents.append(buffer, got);
  }
}

bool TJournalFile::DataSync() const { return ::fdatasync(fFd) == 0; }
