#include "host/DataFolders.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>

QString ProgramDataFolderFor(const QString& executableFolder) {
  const QFileInfo folder(executableFolder);
  const bool portable = QFileInfo::exists(QDir(executableFolder).filePath(kPortableMarker));
  if (folder.isDir() && folder.isWritable() && portable)
    return folder.absoluteFilePath();
  const QString data = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  QDir().mkpath(data);
  return data;
}

QString ProgramDataFolder() { return ProgramDataFolderFor(QCoreApplication::applicationDirPath()); }
