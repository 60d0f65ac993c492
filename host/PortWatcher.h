#pragma once
// Arrival and removal of serial ports: the kernel's tty devices through the udev monitor, and
// simulated supplies through a watch on the ports folder.

#include <QObject>
#include <QSet>
#include <QString>

#include <functional>
#include <memory>

class QFileSystemWatcher;
class QSocketNotifier;

enum class TPortChange { Arrival, Removal };
using TPortChangeEvent = std::function<void(TPortChange change, const QString& port)>;

class TPortWatcher : public QObject {
  Q_OBJECT
 public:
  TPortWatcher(const QString& portsFolder, TPortChangeEvent onChange, QObject* parent = nullptr);
  ~TPortWatcher() override;

  // False when the system offers no device notifications (then only the folder is watched).
  bool DeviceMonitorActive() const { return fUdevNotifier != nullptr; }

 private:
  void StartDeviceMonitor();
  void ReadDeviceEvent();
  void RescanPortsFolder();
  QSet<QString> FolderPorts() const;

  QString fPortsFolder;
  TPortChangeEvent fOnChange;
  QFileSystemWatcher* fFolderWatcher;
  QSet<QString> fFolderPorts;
  struct Udev;
  std::unique_ptr<Udev> fUdev;
  QSocketNotifier* fUdevNotifier = nullptr;
};

// Asks for port arrival and removal notifications for a window; the watcher lives as long as
// the window. A failure to register is not an error: the list is then refreshed by hand only.
TPortWatcher* RegisterPortNotification(QObject* window, TPortChangeEvent onChange);
