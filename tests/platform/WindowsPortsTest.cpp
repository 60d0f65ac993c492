// Windows' own account of its serial ports, run under Wine with kpx-sim's line as COM5.
#include <gtest/gtest.h>

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

}  // namespace
