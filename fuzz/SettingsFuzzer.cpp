// The settings file is the user's to edit: whatever it holds, the readers give a value.
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>

#include "host/SettingsStore.h"

namespace {

// The store is looked for under XDG_CONFIG_HOME; a private one, so no real settings are touched.
QString SettingsFile() {
  static QTemporaryDir dir;
  static const QString path = [] {
    ::setenv("XDG_CONFIG_HOME", QFile::encodeName(dir.path()).constData(), 1);
    QDir(dir.path()).mkpath(QStringLiteral("ardentix"));
    return dir.filePath(QStringLiteral("ardentix/KPX.conf"));
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static int argc = 1;
  static char name[] = "fuzz_settings";
  static char* argv[] = {name, nullptr};
  static QCoreApplication app(argc, argv);
  QFile file(SettingsFile());
  if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return 0;
  file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
  file.close();
  for (const char* key : {"Port", "Baud", "IP", "CRC", "Left", "Color0", "Unit", "Addr"}) {
    const QString name = QString::fromLatin1(key);
    RegValueExists(name);
    RegReadInteger(name);
    RegReadString(name);
    RegReadListIndex(name, 5, 0);
  }
  RegReadPortBaud(QStringLiteral("/dev/ttyUSB0"));
  RegReadPortBaud(QStringLiteral("COM3"));
  return 0;
}
