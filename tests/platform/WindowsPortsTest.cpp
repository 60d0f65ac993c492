// Windows' own account of the ports and folders, run under Wine with kpx-sim's line as COM5.
#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>

#include "host/WindowsPorts.h"

namespace {

TEST(WindowsPorts, TheSimulatorsPortIsListedAndIsNoBluetoothLink) {
  const auto ports = RegistrySerialPorts();
  EXPECT_NE(std::find(ports.begin(), ports.end(), "COM5"), ports.end());
  EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), [](const auto& a, const auto& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  }));
  EXPECT_EQ(BluetoothPortName("COM5"), "");
}

TEST(WindowsPorts, TheDataFolderIsTheUsersRoamingAppData) {
  const std::string folder = RoamingAppDataFolder();
  ASSERT_FALSE(folder.empty());
  char expected[MAX_PATH] = "";
  ASSERT_GT(GetEnvironmentVariableA("APPDATA", expected, MAX_PATH), 0u);
  EXPECT_EQ(folder, expected);
  EXPECT_NE(GetFileAttributesA(folder.c_str()), INVALID_FILE_ATTRIBUTES);
}

}  // namespace
