#include "tests/support/TestEnvironment.h"

#include <QDir>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdlib>
#include <memory>

namespace kelvora::test {

namespace {
std::unique_ptr<QTemporaryDir>& Root() {
  static std::unique_ptr<QTemporaryDir> root;
  return root;
}

void SetFolder(const char* variable, const QString& path) {
  QDir().mkpath(path);
  ::setenv(variable, QDir::toNativeSeparators(path).toLocal8Bit().constData(), 1);
}
}  // namespace

void IsolateUserFolders() {
  if (Root()) return;
  Root() = std::make_unique<QTemporaryDir>(QDir::tempPath() + "/kelvora-test-XXXXXX");
  const QString base = Root()->path();
  // Where the programs under test were built, for tests that start them (kpx-sim).
  if (qEnvironmentVariableIsEmpty("KELVORA_BIN_DIR")) qputenv("KELVORA_BIN_DIR", KELVORA_TEST_BIN_DIR);
  SetFolder("HOME", base + "/home");
  SetFolder("XDG_CONFIG_HOME", base + "/config");
  SetFolder("XDG_DATA_HOME", base + "/data");
  SetFolder("XDG_CACHE_HOME", base + "/cache");
  SetFolder("KELVORA_PORTS_DIR", base + "/ports");
  QDir().mkpath(base + "/runtime");
  QFile::setPermissions(base + "/runtime", QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                               QFileDevice::ExeOwner);
  ::setenv("XDG_RUNTIME_DIR", (base + "/runtime").toLocal8Bit().constData(), 1);
}

QString IsolatedRoot() { return Root() ? Root()->path() : QString(); }

void ClearSettingsStore() {
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "ardentix", "KPX");
  store.clear();
  store.sync();
}

QString SettingsFilePath() {
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "ardentix", "KPX");
  return store.fileName();
}

}  // namespace kelvora::test
