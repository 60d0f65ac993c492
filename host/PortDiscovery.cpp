#include "host/PortDiscovery.h"

#include "host/PortsFolder.h"
#ifdef Q_OS_WIN
#include "host/WindowsPorts.h"
#endif

#include <QDBusConnection>
#include <QDBusInterface>
#include <QDBusReply>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <unistd.h>

#ifndef Q_OS_WIN
// The kernel's tty class, which only Linux has.
namespace {

QString ReadAttribute(const QString& path) {
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return {};
  return QString::fromLatin1(file.readAll()).trimmed();
}

bool IsRfcomm(const QString& name) { return name.startsWith("rfcomm"); }

// A tty is a serial port worth offering when hardware stands behind it. The 8250 driver
// registers many ttyS placeholders; only those with a detected UART (type not 0) are real.
bool IsPresentSerialPort(const QString& ttyClass, const QString& name) {
  static const QRegularExpression kAdapters("^(ttyUSB|ttyACM|ttyAMA|ttyXRUSB|ttyCH343USB)\\d+$");
  static const QRegularExpression kUart("^ttyS\\d+$");
  static const QRegularExpression kBluetooth("^rfcomm\\d+$");
  const QString entry = ttyClass + '/' + name;
  if (kBluetooth.match(name).hasMatch()) return true;
  if (kAdapters.match(name).hasMatch()) return QFileInfo::exists(entry + "/device");
  if (kUart.match(name).hasMatch()) {
    const QString type = ReadAttribute(entry + "/type");
    return QFileInfo::exists(entry + "/device") && !type.isEmpty() && type != "0";
  }
  return false;
}

}  // namespace
#endif

QStringList ListPortsFolder(const QString& folder) {
  QStringList ports;
  QString why;
  if (!PortsFolderTrusted(folder, &why)) {
    // Once per folder: the list is rebuilt on every change of the ports.
    static QSet<QString> warned;
    if (!warned.contains(folder)) qWarning("%s", qPrintable(why));
    warned.insert(folder);
    return ports;
  }
  const QDir links(folder);
  for (const QFileInfo& link : links.entryInfoList(QDir::System | QDir::Files | QDir::NoDotAndDotDot))
    if (link.isSymLink() && link.exists()) ports << link.absoluteFilePath();
  return ports;
}

QString DefaultPortsFolder() {
  const QString configured = qEnvironmentVariable("KELVORA_PORTS_DIR");
  if (!configured.isEmpty()) return configured;
  const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (!runtime.isEmpty()) return runtime + "/kelvora/ports";
  return QString("/tmp/kelvora-%1/ports").arg(::getuid());
}

TPortSources DefaultPortSources() {
  TPortSources sources;
  sources.PortsFolder = DefaultPortsFolder();
  sources.BluetoothName = BluezDeviceAlias;
  return sources;
}

void GetSerialPortList(QStringList& target, const TPortSources& sources) {
#ifdef Q_OS_WIN
  // Windows lists its ports itself, in their own order (COM9 before COM10).
  Q_UNUSED(sources);
  target.clear();
  for (const std::string& port : RegistrySerialPorts()) target << QString::fromStdString(port);
#else
  QStringList ports;
  const QDir ttys(sources.TtyClass);
  for (const QString& name : ttys.entryList(QDir::Dirs | QDir::System | QDir::NoDotAndDotDot)) {
    if (IsPresentSerialPort(sources.TtyClass, name)) ports << sources.DeviceFolder + '/' + name;
  }
  if (!sources.PortsFolder.isEmpty()) ports << ListPortsFolder(sources.PortsFolder);
  // A blank inside a path would split the entry text where the port name ends.
  ports.removeIf([](const QString& port) { return port.contains(' '); });
  ports.sort();
  target = ports;
#endif
}

QString GetPortFriendlyName(const QString& port, const TPortSources& sources) {
#ifdef Q_OS_WIN
  Q_UNUSED(sources);
  const std::string link = BluetoothPortName(port.toStdString());
  return link.empty() ? port : port + " BT " + QString::fromStdString(link);
#else
  const QString name = QFileInfo(port).fileName();
  if (!IsRfcomm(name) || !port.startsWith(sources.DeviceFolder + '/')) return port;
  const QString address = ReadAttribute(sources.TtyClass + '/' + name + "/address").toUpper();
  if (address.isEmpty()) return port;
  const QString device = sources.BluetoothName ? sources.BluetoothName(address) : QString();
  return port + " BT " + (device.isEmpty() ? address : device);
#endif
}

QString PortNameOf(const QString& entry) {
  const qsizetype blank = entry.indexOf(' ');  // 0-based; position blank + 1
  if (blank < 0 || blank + 1 < 5) return entry;
  return entry.left(blank);
}

QString BluezDeviceAlias(const QString& address) {
  QDBusConnection bus = QDBusConnection::systemBus();
  if (!bus.isConnected()) return {};
  const QString suffix = "/dev_" + QString(address).replace(':', '_');
  for (int adapter = 0; adapter < 4; ++adapter) {
    QDBusInterface device("org.bluez", QString("/org/bluez/hci%1").arg(adapter) + suffix,
                          "org.freedesktop.DBus.Properties", bus);
    if (!device.isValid()) continue;
    QDBusReply<QVariant> alias = device.call("Get", "org.bluez.Device1", "Alias");
    if (alias.isValid()) return alias.value().toString();
  }
  return {};
}
