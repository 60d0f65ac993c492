#include "host/StoredFile.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <sys/stat.h>

namespace {

std::function<void(const QString&)>& Reporter() {
  static std::function<void(const QString&)> reporter;
  return reporter;
}

QSet<QString>& Told() {
  static QSet<QString> told;
  return told;
}

QString KindOf(mode_t mode) {
  if (S_ISDIR(mode)) return QStringLiteral("a folder");
  if (S_ISFIFO(mode)) return QStringLiteral("a FIFO");
  if (S_ISCHR(mode) || S_ISBLK(mode)) return QStringLiteral("a device");
  if (S_ISSOCK(mode)) return QStringLiteral("a socket");
  return QStringLiteral("not a regular file");
}

}  // namespace

std::optional<QString> StoredFileRefusal(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  struct stat link {};
  if (::lstat(native.constData(), &link) != 0) return std::nullopt;  // absent: made when saved
  struct stat target {};
  QString kind;
  if (::stat(native.constData(), &target) != 0)
    kind = QStringLiteral("a link that points nowhere");
  else if (S_ISREG(target.st_mode))
    return std::nullopt;
  else
    kind = KindOf(target.st_mode);
  return QStringLiteral("\"%1\" is %2, not a regular file. The program goes on without it and "
                        "does not write there.")
      .arg(QDir::toNativeSeparators(path), kind);
}

bool StoredFileUsable(const QString& path) {
  const std::optional<QString> refusal = StoredFileRefusal(path);
  if (!refusal) return true;
  if (!Told().contains(path)) {
    Told().insert(path);
    if (Reporter()) Reporter()(*refusal);
  }
  return false;
}

void SetStoredFileReporter(std::function<void(const QString&)> reporter) {
  Reporter() = std::move(reporter);
  Told().clear();
}
