#include "host/SettingsStore.h"

#include <QSettings>
#include <QStandardPaths>
#include <QUrl>

#include <memory>

#include "host/StoredFile.h"

namespace {

constexpr char kOrganisation[] = "ardentix";
constexpr char kApplication[] = "KPX";
constexpr char kPortGroup[] = "BAUDES";

// The files QSettings reads for the user: the program's own and the organisation's. They are
// looked at before QSettings opens them, since it reads them as soon as it is made.
bool StoreFilesUsable() {
#ifdef Q_OS_WIN
  return true;  // the registry
#else
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation);
  const QString own = QStringLiteral("%1/%2/%3.conf").arg(folder, kOrganisation, kApplication);
  const QString shared = QStringLiteral("%1/%2.conf").arg(folder, kOrganisation);
  const bool ownUsable = StoredFileUsable(own);
  return StoredFileUsable(shared) && ownUsable;
#endif
}

// Nothing when the store's files are refused: reads find nothing, writes are dropped.
std::unique_ptr<QSettings> OpenStore() {
  if (!StoreFilesUsable()) return nullptr;
  return std::make_unique<QSettings>(QSettings::NativeFormat, QSettings::UserScope, kOrganisation,
                                     kApplication);
}

// Port names may be device paths; '/' would split the name into groups, so the name is
// percent-encoded (reversibly; "COM3" stays "COM3").
QString PortKey(const QString& port) {
  return QString(kPortGroup) + '/' + QString::fromLatin1(QUrl::toPercentEncoding(port));
}

std::optional<int32_t> StoredNumber(const QSettings* store, const QString& key) {
  if (!store) return std::nullopt;
  const QVariant value = store->value(key);
  if (!value.isValid()) return std::nullopt;
  bool ok = false;
  const qlonglong number = value.toLongLong(&ok);
  if (!ok) return std::nullopt;
  // Stored as a 32-bit value: wrap as the registry's DWORD would.
  return static_cast<int32_t>(static_cast<uint32_t>(number));
}

}  // namespace

bool RegValueExists(const QString& name) {
  const auto store = OpenStore();
  return store && store->contains(name);
}

int32_t RegReadInteger(const QString& name) { return RegReadNumber(name).value_or(0); }

std::optional<int32_t> RegReadNumber(const QString& name) {
  return StoredNumber(OpenStore().get(), name);
}

void RegWriteInteger(const QString& name, int32_t value) {
  if (const auto store = OpenStore()) store->setValue(name, value);
}

QString RegReadString(const QString& name) {
  const auto store = OpenStore();
  return store ? store->value(name).toString() : QString();
}

void RegWriteString(const QString& name, const QString& value) {
  if (const auto store = OpenStore()) store->setValue(name, value);
}

int32_t RegReadPortBaud(const QString& port) {
  return StoredNumber(OpenStore().get(), PortKey(port)).value_or(-1);
}

void RegWritePortBaud(const QString& port, int32_t value) {
  if (const auto store = OpenStore()) store->setValue(PortKey(port), value);
}

int32_t RegReadListIndex(const QString& name, int32_t count, int32_t defaultIndex) {
  const std::optional<int32_t> index = RegReadNumber(name);
  return index && *index >= 0 && *index < count ? *index : defaultIndex;
}
