#pragma once
// The serial ports of this computer, as the Connection panel lists them: USB and ACM adapters,
// real UARTs, Bluetooth RFCOMM links, and the simulated supplies in the ports folder. A port's
// name is the path that opens it ("/dev/ttyUSB0").

#include <QString>
#include <QStringList>

#include <functional>

// Where the ports are looked for; tests point these at a folder of their own.
struct TPortSources {
  QString TtyClass = "/sys/class/tty";  // one entry per tty the kernel knows
  QString DeviceFolder = "/dev";
  QString PortsFolder;  // links made by simulated supplies; see DefaultPortsFolder()
  // Bluetooth device name by address ("00:1A:7D:DA:71:13"); empty when unknown.
  std::function<QString(const QString& address)> BluetoothName;
};

// $KELVORA_PORTS_DIR, else $XDG_RUNTIME_DIR/kelvora/ports, else /tmp/kelvora-<uid>/ports.
QString DefaultPortsFolder();
TPortSources DefaultPortSources();

// The live links of the ports folder, as full paths; a link whose simulator has gone dangles
// and is not a port any more. A folder that is not PortsFolderTrusted gives none, with a warning.
QStringList ListPortsFolder(const QString& folder);

// Replaces target with the sorted port names.
void GetSerialPortList(QStringList& target, const TPortSources& sources = DefaultPortSources());

// The port name, extended with " BT " and the paired device's name for a Bluetooth link.
QString GetPortFriendlyName(const QString& port, const TPortSources& sources = DefaultPortSources());

// The port name inside a list entry: the text before the first blank when that blank stands at
// position 5 or later (1-based), otherwise the whole entry.
QString PortNameOf(const QString& entry);

// BlueZ's alias of a paired device over the system bus; empty when the bus or device is absent.
QString BluezDeviceAlias(const QString& address);
