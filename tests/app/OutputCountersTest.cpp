#include <gtest/gtest.h>

#include "app/OutputCounters.h"
#include "app/PortComboBox.h"
#include "core/ProtectionText.h"

TEST(OutputCounters, IntegratesOncePerWholeSecond) {
  TOutputCounters c;
  c.Reset(1000);
  // 2.500 A on a 1 mA-unit model for one hour gives 2.50 Ah; 12.00 V on top gives 30.00 Wh.
  uint32_t now = 1000;
  for (int s = 0; s < 3600; ++s) {
    now += 1000;
    ASSERT_TRUE(c.Tick(now, 1200, 2500, 10));
  }
  EXPECT_EQ(c.fTime, 3600u);
  EXPECT_EQ(c.fAHCounter, 249u);  // fractions are truncated per second: 249.99…
  EXPECT_EQ(c.fWHCounter, 2999u);
}

TEST(OutputCounters, TicksWithinASecondAndLateTicksDoNotIntegrate) {
  TOutputCounters c;
  c.Reset(0);
  EXPECT_FALSE(c.Tick(500, 1000, 1000, 1));   // still second 0
  EXPECT_TRUE(c.Tick(1000, 1000, 1000, 1));   // 0 -> 1
  const int64_t before = c.fAHCounter64;
  EXPECT_FALSE(c.Tick(3100, 1000, 1000, 1));  // 1 -> 3: counted in the time only
  EXPECT_EQ(c.fTime, 3u);
  EXPECT_EQ(c.fAHCounter64, before);
}

TEST(OutputCounters, SurvivesTickWrapAround) {
  TOutputCounters c;
  c.Reset(0xFFFFFC00u);
  EXPECT_TRUE(c.Tick(0xFFFFFC00u + 1000, 1, 1, 1));
  EXPECT_EQ(c.fTime, 1u);
}

TEST(OutputCounters, ContinueKeepsOnTimeAndZeroReadsKeepOwnCount) {
  TOutputCounters c;
  c.Reset(0);
  c.Tick(5000, 0, 0, 1);
  c.Continue(100000);  // output switched off and on again later
  c.Tick(102000, 0, 0, 1);
  EXPECT_EQ(c.fTime, 7u);

  c.LoadAH(1234);
  c.LoadAH(0);
  EXPECT_EQ(c.fAHCounter, 1234u);
  EXPECT_EQ(c.fAHCounter64, int64_t{1234} << 32);
  c.LoadTime(0, 200000);
  EXPECT_EQ(c.fTime, 7u);
  c.LoadTime(90, 200000);
  EXPECT_EQ(c.fTime, 90u);
  EXPECT_EQ(c.fTimePrevious, 90u);
}

TEST(ReadoutTexts, ProtectionCodes) {
  EXPECT_EQ(ProtectionText(0), "Error");
  EXPECT_EQ(ProtectionText(1), "OVP");
  EXPECT_EQ(ProtectionText(5), "OHP");
  EXPECT_EQ(ProtectionText(11), "EPR");
  EXPECT_EQ(ProtectionText(12), "E12");
}

TEST(ReadoutTexts, PortEntriesDrawnWithoutTheirFolder) {
  EXPECT_EQ(PortDisplayText("/dev/ttyUSB0"), "ttyUSB0");
  EXPECT_EQ(PortDisplayText("/dev/rfcomm0 BT Phone"), "rfcomm0 BT Phone");
  EXPECT_EQ(PortDisplayText("/run/user/0/kelvora/ports/kpx-sim"), "kpx-sim");
  EXPECT_EQ(PortDisplayText("TCP"), "TCP");
}
