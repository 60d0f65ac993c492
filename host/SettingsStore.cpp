#include "host/SettingsStore.h"

#include <QSettings>
#include <QUrl>

namespace {

constexpr char kOrganisation[] = "ardentix";
constexpr char kApplication[] = "KPX";
constexpr char kPortGroup[] = "BAUDES";

QSettings OpenStore() {
  return QSettings(QSettings::NativeFormat, QSettings::UserScope, kOrganisation, kApplication);
}

// Port names may be device paths; '/' would split the name into groups, so the name is
// percent-encoded (reversibly; "COM3" stays "COM3").
QString PortKey(const QString& port) {
  return QString(kPortGroup) + '/' + QString::fromLatin1(QUrl::toPercentEncoding(port));
}

int32_t IntegerOrAbsent(const QSettings& store, const QString& key, int32_t absent) {
  const QVariant value = store.value(key);
  if (!value.isValid()) return absent;
  bool ok = false;
  const qlonglong number = value.toLongLong(&ok);
  if (!ok) return absent;
  // Stored as a 32-bit value: wrap as the registry's DWORD would.
  return static_cast<int32_t>(static_cast<uint32_t>(number));
}

}  // namespace

bool RegValueExists(const QString& name) { return OpenStore().contains(name); }

int32_t RegReadInteger(const QString& name) { return IntegerOrAbsent(OpenStore(), name, 0); }

void RegWriteInteger(const QString& name, int32_t value) {
  QSettings store = OpenStore();
  store.setValue(name, value);
}

QString RegReadString(const QString& name) { return OpenStore().value(name).toString(); }

void RegWriteString(const QString& name, const QString& value) {
  QSettings store = OpenStore();
  store.setValue(name, value);
}

int32_t RegReadPortBaud(const QString& port) {
  return IntegerOrAbsent(OpenStore(), PortKey(port), -1);
}

void RegWritePortBaud(const QString& port, int32_t value) {
  QSettings store = OpenStore();
  store.setValue(PortKey(port), value);
}

int32_t RegReadListIndex(const QString& name, int32_t count, int32_t defaultIndex) {
  if (!RegValueExists(name)) return defaultIndex;
  const int32_t index = RegReadInteger(name);
  return index >= 0 && index < count ? index : defaultIndex;
}
