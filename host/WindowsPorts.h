#pragma once
// What Windows says about its serial ports and the user's folders, without Qt: the port list
// from the registry's device map, the paired device's name of a Bluetooth port, and the roaming
// application-data folder. Built only for Windows; PortDiscovery and DataFolders use it there.

#include <string>
#include <vector>

// The ports in HKLM\HARDWARE\DEVICEMAP\SERIALCOMM ("COM3", "COM5"), sorted by number.
std::vector<std::string> RegistrySerialPorts();

// The friendly name Windows gives a port whose device is a Bluetooth link ("Standard Serial
// over Bluetooth link (COM7)"); empty for any other port or when Windows gives none.
std::string BluetoothPortName(const std::string& port);

// %APPDATA%, as UTF-8; empty when Windows has none for this user.
std::string RoamingAppDataFolder();
