#include "host/PortsFolder.h"

#include <QDir>
#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

namespace {

QString Untrusted(const QString& aFolder, const QString& aPath, const QString& aReason) {
  return QString("ignoring the ports folder %1: %2 %3").arg(aFolder, aPath, aReason);
}

}  // namespace

bool PortsFolderTrusted(const QString& aFolder, QString* aWhy) {
  const QString real = QFileInfo(aFolder).canonicalFilePath();
  if (real.isEmpty()) return true;
  const uid_t me = ::getuid();
  QString why;
  for (QString path = real; why.isEmpty(); path = QFileInfo(path).path()) {
    struct stat st {};
    if (::stat(path.toLocal8Bit().constData(), &st) != 0) {
      why = Untrusted(aFolder, path, "cannot be examined");
      break;
    }
    const bool folderItself = path == real;
    if (st.st_uid != me && (folderItself || st.st_uid != 0))
      why = Untrusted(aFolder, path, QString("belongs to another user (uid %1)").arg(st.st_uid));
    else if ((st.st_mode & (S_IWGRP | S_IWOTH)) && (folderItself || !(st.st_mode & S_ISVTX)))
      why = Untrusted(aFolder, path, "is writable by other users");
    if (path == "/") break;
  }
  if (aWhy) *aWhy = why;
  return why.isEmpty();
}

void MakePortsFolder(const QString& aFolder) {
  const QString absolute = QDir(aFolder).absolutePath();
  QString path;
  for (const QString& part : absolute.split('/', Qt::SkipEmptyParts)) {
    path += '/' + part;
    ::mkdir(path.toLocal8Bit().constData(), 0700);  // an existing folder keeps its mode
  }
}
