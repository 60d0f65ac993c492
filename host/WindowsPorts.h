#pragma once
// What Windows says about its serial ports, without Qt: the port list from the registry's device
// map and the friendly name of a Bluetooth port. Built only for Windows, where PortDiscovery uses
// it. (The data folder needs nothing of its own: Qt's application-data location there is
// already under %APPDATA%.)

#include <string>
#include <vector>

// The ports in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM ("COM3", "COM5"), sorted by number.
std::vector<std::string> RegistrySerialPorts();

// The friendly name Windows gives a port whose device is a Bluetooth link ("Standard Serial
// over Bluetooth link (COM7)"); empty for any other port or when Windows gives none.
std::string BluetoothPortName(const std::string& port);
