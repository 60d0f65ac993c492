#include "flasher/FirmwareImage.h"

#include <QFile>
#include <QFileInfo>

QString ImageFileProblem(const QString& aFileName, uint32_t aFlashSize) {
  const QFileInfo info(aFileName);
  if (info.exists() && !info.isFile()) return QString("\"%1\" is not a regular file").arg(aFileName);
  QFile file(aFileName);
  if (!file.open(QIODevice::ReadOnly))
    return QString("Cannot open file \"%1\". %2").arg(aFileName, file.errorString());
  if (file.size() == 0) return QString("\"%1\" is empty").arg(aFileName);
  if (file.size() > aFlashSize)
    return QString("\"%1\" has %2 bytes, more than the flash of %3 bytes")
        .arg(aFileName)
        .arg(file.size())
        .arg(aFlashSize);
  return {};
}
