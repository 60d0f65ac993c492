#include "autotest/PersistentTable.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>

#include "core/ErrorReport.h"
#include "autotest/TestSteps.h"
#include "host/DataFolders.h"
#include "host/FileCrc32.h"
#include "host/SettingsStore.h"
#include "host/StoredFile.h"

QString PersistentTablePath() { return QDir(ProgramDataFolder()).filePath(kPersistentFileName); }

bool LoadPersistentTable(TTestSteps& steps, const QString& fileName) {
  if (!RegValueExists(kPersistentCrcValue) || !StoredFileUsable(fileName)) return false;
  const std::optional<uint32_t> crc = FileCrc32(fileName);
  if (!crc || static_cast<int32_t>(*crc) != RegReadInteger(kPersistentCrcValue)) return false;
  QFile file(fileName);
  if (!file.open(QIODevice::ReadOnly)) return false;
  return steps.FromBytes(file.read(kMaxTestSteps * kTestStepBytes));
}

void SavePersistentTable(const TTestSteps& steps, const QString& fileName) {
  if (!StoredFileUsable(fileName)) return;  // only a regular file is ever replaced
  QSaveFile file(fileName);
  const auto fail = [&fileName, &file] {
    throw EKelvoraError(QStringLiteral("The test steps could not be saved to \"%1\": %2.")
                            .arg(QDir::toNativeSeparators(fileName), file.errorString()));
  };
  const QByteArray bytes = steps.ToBytes();
  if (!file.open(QIODevice::WriteOnly)) fail();
  if (file.write(bytes) != bytes.size()) fail();
  if (!file.commit()) fail();
  const std::optional<uint32_t> crc = FileCrc32(fileName);
  if (!crc)
    throw EKelvoraError(QStringLiteral("The saved test steps in \"%1\" could not be read back.")
                            .arg(QDir::toNativeSeparators(fileName)));
  RegWriteInteger(kPersistentCrcValue, static_cast<int32_t>(*crc));
}
