#include <gtest/gtest.h>

#include "app/IpAddress.h"

TEST(IpAddress, MaskTextParsesWithFirstOctetInTheLowByte) {
  const auto addr = IpTextToAddr("192.168.001.001");
  ASSERT_TRUE(addr);
  EXPECT_EQ(*addr, 0x0101A8C0u);
  EXPECT_EQ(IpAddrToText(*addr), "192.168.1.1");
  EXPECT_EQ(IpAddrToMaskText(*addr), "192.168.001.001");
  EXPECT_EQ(IpAddrToMaskText(0x0100007F), "127.000.000.001");
}

TEST(IpAddress, IncompleteAndOutOfRangeAddressesAreRejected) {
  EXPECT_FALSE(IpTextToAddr("192.168.1"));
  EXPECT_FALSE(IpTextToAddr("192.168.  .1"));
  EXPECT_FALSE(IpTextToAddr("256.0.0.1"));  // would spill into the next octet
  EXPECT_FALSE(IpTextToAddr("1.2.3.-4"));
  EXPECT_EQ(IpTextToAddr("0.0.0.0"), 0u);  // parsable; the caller refuses address 0
  EXPECT_EQ(IpTextToAddr("255.255.255.255"), 0xFFFFFFFFu);
}
