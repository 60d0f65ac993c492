#include "host/PortWatcher.h"

#include <QFileSystemWatcher>
#include <QSocketNotifier>

#include <libudev.h>

#include "host/PortDiscovery.h"
#include "host/PortsFolder.h"

struct TPortWatcher::Udev {
  udev* context = nullptr;
  udev_monitor* monitor = nullptr;
  ~Udev() {
    if (monitor) udev_monitor_unref(monitor);
    if (context) udev_unref(context);
  }
};

TPortWatcher::TPortWatcher(const QString& portsFolder, TPortChangeEvent onChange, QObject* parent)
    : QObject(parent),
      fPortsFolder(portsFolder),
      fOnChange(std::move(onChange)),
      fFolderWatcher(new QFileSystemWatcher(this)) {
  // The folder is ours; making it lets the watch start before the first simulator does.
  MakePortsFolder(fPortsFolder);
  fFolderWatcher->addPath(fPortsFolder);
  fFolderPorts = FolderPorts();
  connect(fFolderWatcher, &QFileSystemWatcher::directoryChanged, this,
          [this] { RescanPortsFolder(); });
  StartDeviceMonitor();
}

TPortWatcher::~TPortWatcher() = default;

void TPortWatcher::StartDeviceMonitor() {
  auto monitor = std::make_unique<Udev>();
  monitor->context = udev_new();
  if (!monitor->context) return;
  monitor->monitor = udev_monitor_new_from_netlink(monitor->context, "udev");
  if (!monitor->monitor) return;
  if (udev_monitor_filter_add_match_subsystem_devtype(monitor->monitor, "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(monitor->monitor) < 0)
    return;
  const int fd = udev_monitor_get_fd(monitor->monitor);
  if (fd < 0) return;
  fUdev = std::move(monitor);
  fUdevNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, this);
  connect(fUdevNotifier, &QSocketNotifier::activated, this, [this] { ReadDeviceEvent(); });
}

void TPortWatcher::ReadDeviceEvent() {
  udev_device* device = udev_monitor_receive_device(fUdev->monitor);
  if (!device) return;
  const QString action = QString::fromLatin1(udev_device_get_action(device));
  const char* node = udev_device_get_devnode(device);
  const QString port = node ? QString::fromLocal8Bit(node) : QString();
  udev_device_unref(device);
  if (port.isEmpty() || !fOnChange) return;
  if (action == "add")
    fOnChange(TPortChange::Arrival, port);
  else if (action == "remove")
    fOnChange(TPortChange::Removal, port);
}

QSet<QString> TPortWatcher::FolderPorts() const {
  const QStringList ports = ListPortsFolder(fPortsFolder);
  return QSet<QString>(ports.begin(), ports.end());
}

void TPortWatcher::RescanPortsFolder() {
  const QSet<QString> now = FolderPorts();
  const QSet<QString> before = std::exchange(fFolderPorts, now);
  if (!fOnChange) return;
  for (const QString& port : before)
    if (!now.contains(port)) fOnChange(TPortChange::Removal, port);
  for (const QString& port : now)
    if (!before.contains(port)) fOnChange(TPortChange::Arrival, port);
}

TPortWatcher* RegisterPortNotification(QObject* window, TPortChangeEvent onChange) {
  return new TPortWatcher(DefaultPortsFolder(), std::move(onChange), window);
}
