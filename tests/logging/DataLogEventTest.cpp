#include <gtest/gtest.h>

#include <vector>

#include "logging/DataLog.h"
#include "logging/LogOptions.h"

namespace {
TCurrentSet Reading(uint32_t uset, uint32_t iset, uint32_t uout, uint32_t iout,
                    uint32_t power = 0) {
  TCurrentSet data{};
  data.USET = uset;
  data.ISET = iset;
  data.UOUT = uout;
  data.IOUT = iout;
  data.POWER = power;
  return data;
}

class EventLog : public ::testing::Test {
 protected:
  void SetUp() override { log.WriteLogData(Reading(1000, 200, 1000, 100)); }
  size_t Entries() const { return log.LogList().size(); }
  TDataLog log;
};
}  // namespace

TEST(DataLog, EntriesKeepOrderAndFullRegisterValuesAndClearEmptiesTheLog) {
  TDataLog log;
  QDateTime now(QDate(2026, 12, 8), QTime(15, 30, 45));
  log.SetClock([&now] { return now; });
  // 4.00 A at 2000 W on a 20 A model: the power register is beyond 16 bits.
  log.WriteLogData(Reading(5000, 2000, 5000, 4000, 200000));
  now = now.addSecs(3);
  log.WriteLogData(Reading(70000, 1, 2, 3, 4));
  ASSERT_EQ(log.LogList().size(), 2u);
  EXPECT_EQ(log.LogList()[0].Pout, 200000u);
  EXPECT_EQ(log.LogList()[0].Time.time(), QTime(15, 30, 45));
  EXPECT_EQ(log.LogList()[1].Uset, 70000u);
  EXPECT_EQ(log.LogList()[1].Time.time(), QTime(15, 30, 48));
  log.ClearLogData();
  EXPECT_TRUE(log.LogList().empty());
}

TEST(DataLog, ByTimeEveryThreeSecondsTakesTheFirstTickThenEveryThird) {
  TDataLog log;
  int32_t countdown = 0;
  log.WriteLogData({});  // the entry taken at the start
  std::vector<int> taken;
  const int32_t interval = GetLogInterval(kDefaultLogIntervalIndex);
  for (int tick = 1; tick <= 10; ++tick)
    if (log.LogByTime({}, countdown, interval)) taken.push_back(tick);
  EXPECT_EQ(taken, (std::vector<int>{1, 4, 7, 10}));
  EXPECT_EQ(log.LogList().size(), 5u);
}

TEST(DataLog, EventTickOnAnEmptyLogTakesNothing) {
  TDataLog log;
  EXPECT_FALSE(log.LogByEvent(Reading(1, 2, 3, 4), 0, 0));
  EXPECT_TRUE(log.LogList().empty());
}

TEST_F(EventLog, NoMatterForBothLogsOnlySetPointChanges) {
  EXPECT_FALSE(log.LogByEvent(Reading(1000, 200, 100, 190), kThresholdNever, kThresholdNever));
  EXPECT_FALSE(log.LogByEvent(Reading(1000, 200, 0, 0), kThresholdNever, kThresholdNever));
  EXPECT_EQ(Entries(), 1u);
  EXPECT_TRUE(log.LogByEvent(Reading(1001, 200, 0, 0), kThresholdNever, kThresholdNever));
  EXPECT_TRUE(log.LogByEvent(Reading(1001, 199, 0, 0), kThresholdNever, kThresholdNever));
  EXPECT_FALSE(log.LogByEvent(Reading(1001, 199, 500, 50), kThresholdNever, kThresholdNever));
  EXPECT_EQ(Entries(), 3u);
  EXPECT_EQ(log.LogList().back().Iset, 199u);
}

TEST_F(EventLog, AnyChangeLogsOneCountOfEitherReading) {
  EXPECT_FALSE(log.LogByEvent(Reading(1000, 200, 1000, 100), 0, 0));
  EXPECT_TRUE(log.LogByEvent(Reading(1000, 200, 1001, 100), 0, kThresholdNever));
  EXPECT_TRUE(log.LogByEvent(Reading(1000, 200, 1001, 99), kThresholdNever, 0));
  EXPECT_FALSE(log.LogByEvent(Reading(1000, 200, 1001, 99), 0, 0));
  EXPECT_EQ(Entries(), 3u);
}

TEST_F(EventLog, PercentThresholdCountsWholePercentOfTheLastSetValue) {
  // >2% of a 10.00 V set voltage: 0.29 V is 2 % truncated, 0.30 V is 3 %. The reference is the
  // set voltage, not the last output voltage.
  EXPECT_FALSE(log.LogByEvent(Reading(1000, 200, 1029, 100), 2, kThresholdNever));
  EXPECT_FALSE(log.LogByEvent(Reading(1000, 200, 971, 100), 2, kThresholdNever));
  EXPECT_TRUE(log.LogByEvent(Reading(1000, 200, 970, 100), 2, kThresholdNever));
  // Current against the 2.00 A set current: now measured from 1.00 A, >5% needs 12 counts.
  EXPECT_FALSE(log.LogByEvent(Reading(1000, 200, 970, 111), kThresholdNever, 5));
  EXPECT_TRUE(log.LogByEvent(Reading(1000, 200, 970, 88), kThresholdNever, 5));
  EXPECT_EQ(Entries(), 3u);
}

TEST(DataLog, ZeroSetValueCountsAnyMovementAsBeyondThePercentage) {
  TDataLog log;
  log.WriteLogData(Reading(0, 0, 0, 0));
  EXPECT_FALSE(log.LogByEvent(Reading(0, 0, 0, 0), 3, 3));
  EXPECT_TRUE(log.LogByEvent(Reading(0, 0, 2, 0), 3, 3));
  EXPECT_TRUE(log.LogByEvent(Reading(0, 0, 2, 1), kThresholdNever, 5));
  EXPECT_EQ(log.LogList().size(), 3u);
}

TEST_F(EventLog, LargeReadingsDoNotOverflowThePercentage) {
  // A change of 0xFFFF0000 counts times 100 overflows 32 bits; it is still far above 5 %.
  log.ClearLogData();
  log.WriteLogData(Reading(0xFFFFFFFFu, 200, 0xFFFFFFFFu, 100));
  EXPECT_FALSE(log.LogByEvent(Reading(0xFFFFFFFFu, 200, 0xFFFFFFF0u, 100), 5, kThresholdNever));
  EXPECT_TRUE(log.LogByEvent(Reading(0xFFFFFFFFu, 200, 0x0000FFFFu, 100), 5, kThresholdNever));
}

TEST_F(EventLog, ThresholdWithoutSelectionUsesTheDefaults) {
  // No selection (-1) would otherwise log on every tick; the defaults are >1% and >2%.
  EXPECT_FALSE(log.LogByEvent(Reading(1000, 200, 1019, 100), -1, 99));
  EXPECT_TRUE(log.LogByEvent(Reading(1000, 200, 1020, 100), -1, 99));
  EXPECT_FALSE(log.LogByEvent(Reading(1000, 200, 1020, 105), -1, 99));
  EXPECT_TRUE(log.LogByEvent(Reading(1000, 200, 1020, 106), -1, 99));
}

TEST(LogOptions, ItemListsAndIntervals) {
  const QStringList intervals = LogIntervalItems();
  ASSERT_EQ(intervals.size(), 14);
  EXPECT_EQ(intervals[0], "Save every 1 sec.");
  EXPECT_EQ(intervals[2], "Save every 3 sec.");
  EXPECT_EQ(intervals[7], "Save every 30 sec.");
  EXPECT_EQ(intervals[8], "Save every 1 min.");
  EXPECT_EQ(intervals[13], "Save every 30 min.");

  const QStringList uout = UoutThresholdItems();
  const QStringList iout = IoutThresholdItems();
  ASSERT_EQ(uout.size(), kThresholdItemCount);
  ASSERT_EQ(iout.size(), kThresholdItemCount);
  EXPECT_EQ(uout[0], "Output voltage change <1%");
  EXPECT_EQ(uout[3], "Output voltage change >3%");
  EXPECT_EQ(uout[6], "Output voltage no matter");
  EXPECT_EQ(iout[0], "Output current change <1%");
  EXPECT_EQ(iout[5], "Output current change >5%");
  EXPECT_EQ(iout[6], "Output current no matter");

  EXPECT_EQ(GetLogInterval(kDefaultLogIntervalIndex), 3);
  EXPECT_EQ(GetLogInterval(9), 120);
  EXPECT_EQ(GetLogInterval(13), 1800);
  EXPECT_EQ(GetLogInterval(-1), 3);
  EXPECT_EQ(GetLogInterval(14), 3);
  EXPECT_EQ(StoredLogIndex(6, kThresholdItemCount, kDefaultUoutThresholdIndex), 6);
  EXPECT_EQ(StoredLogIndex(7, kThresholdItemCount, kDefaultUoutThresholdIndex), 1);
}
