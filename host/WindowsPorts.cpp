#include "host/WindowsPorts.h"

#include <windows.h>
#include <devguid.h>
#include <setupapi.h>

#include <algorithm>

namespace {

std::string Utf8(const wchar_t* text) {
  const int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  if (n <= 1) return {};
  std::string out(size_t(n - 1), '\0');
  WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

// "COM10" after "COM9": by the number, then by the name.
bool PortBefore(const std::string& a, const std::string& b) {
  const auto number = [](const std::string& s) {
    const size_t digits = s.find_first_of("0123456789");
    return digits == std::string::npos ? 0L : std::strtol(s.c_str() + digits, nullptr, 10);
  };
  const long na = number(a), nb = number(b);
  return na != nb ? na < nb : a < b;
}

}  // namespace

std::vector<std::string> RegistrySerialPorts() {
  std::vector<std::string> ports;
  HKEY key;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS)
    return ports;
  for (DWORD i = 0;; ++i) {
    wchar_t name[256], data[256];
    DWORD nameLen = 256, dataLen = sizeof data - sizeof(wchar_t), type = 0;
    const LONG r = RegEnumValueW(key, i, name, &nameLen, nullptr, &type,
                                 reinterpret_cast<BYTE*>(data), &dataLen);
    if (r == ERROR_NO_MORE_ITEMS) break;
    if (r != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataLen / sizeof(wchar_t)] = L'\0';  // the stored text need not end in one
    if (data[0]) ports.push_back(Utf8(data));
  }
  RegCloseKey(key);
  std::sort(ports.begin(), ports.end(), PortBefore);
  return ports;
}

std::string BluetoothPortName(const std::string& port) {
  const HDEVINFO devices = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (devices == INVALID_HANDLE_VALUE) return {};
  std::string found;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; found.empty() && SetupDiEnumDeviceInfo(devices, i, &device); ++i) {
    wchar_t id[512];
    // Bluetooth serial links are enumerated by the Bluetooth bus.
    if (!SetupDiGetDeviceInstanceIdW(devices, &device, id, 512, nullptr) ||
        _wcsnicmp(id, L"BTHENUM\\", 8) != 0)
      continue;
    const HKEY key = SetupDiOpenDevRegKey(devices, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    wchar_t name[64] = L"";
    DWORD len = sizeof name - sizeof(wchar_t), type = 0;
    const bool named = RegQueryValueExW(key, L"PortName", nullptr, &type,
                                        reinterpret_cast<BYTE*>(name), &len) == ERROR_SUCCESS &&
                       type == REG_SZ;
    RegCloseKey(key);
    name[len / sizeof(wchar_t)] = L'\0';
    if (!named || _stricmp(Utf8(name).c_str(), port.c_str()) != 0) continue;
    wchar_t friendly[512];
    if (SetupDiGetDeviceRegistryPropertyW(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                          reinterpret_cast<BYTE*>(friendly),
                                          sizeof friendly - sizeof(wchar_t), nullptr))
      found = Utf8(friendly);
  }
  SetupDiDestroyDeviceInfoList(devices);
  return found;
}
