#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "core/TaskUnit.h"

namespace {

// Binds every event of the scheduler to a log line; the test drives TimerTick itself.
struct SchedulerHarness {
  TLN_TaskMgr mgr{5};
  std::vector<std::string> log;

  SchedulerHarness() {
    auto bind = [this](void (TLN_TaskMgr::*setter)(TNotifyEvent), std::string name) {
      (mgr.*setter)([this, name](void* sender) {
        EXPECT_EQ(sender, &mgr);
        log.push_back(name);
      });
    };
    bind(&TLN_TaskMgr::SetOnReadMemNum, "ReadMemNum");
    bind(&TLN_TaskMgr::SetOnReadMemNumAndCounters, "ReadMemNumAndCounters");
    bind(&TLN_TaskMgr::SetOnWriteOnOff, "WriteOnOff");
    bind(&TLN_TaskMgr::SetOnWriteSetData, "WriteSetData");
    bind(&TLN_TaskMgr::SetOnWriteMemNum, "WriteMemNum");
    bind(&TLN_TaskMgr::SetOnWriteMemory, "WriteMemory");
    bind(&TLN_TaskMgr::SetOnWriteBled, "WriteBled");
    bind(&TLN_TaskMgr::SetOnReadMemory, "ReadMemory");
    bind(&TLN_TaskMgr::SetOnReadData, "ReadData");
    bind(&TLN_TaskMgr::SetOnReadSetData, "ReadSetData");
    bind(&TLN_TaskMgr::SetOnReadGlobalData, "ReadGlobalData");
    bind(&TLN_TaskMgr::SetOnWriteGlobalData, "WriteGlobalData");
    bind(&TLN_TaskMgr::SetOnReadCalibData, "ReadCalibData");
    bind(&TLN_TaskMgr::SetOnWriteCalibCmd, "WriteCalibCmd");
    bind(&TLN_TaskMgr::SetOnReadTemperature, "ReadTemperature");
    bind(&TLN_TaskMgr::SetOnReadDebugData, "ReadDebugData");
    bind(&TLN_TaskMgr::SetOnError, "Error");
    bind(&TLN_TaskMgr::SetOnTimeout, "Timeout");
    bind(&TLN_TaskMgr::SetOnWriteJumpBoot, "WriteJumpBoot");
    bind(&TLN_TaskMgr::SetOnWriteCommand, "WriteCommand");
  }

  void RaiseAll() {
    mgr.ReadMemNum(); mgr.ReadMemNumAndCounters(); mgr.WriteOnOff(); mgr.WriteMemNum();
    mgr.WriteSetData(); mgr.WriteMemory(); mgr.WriteBled(); mgr.ReadMemory(); mgr.ReadSetData();
    mgr.ReadGlobalData(); mgr.WriteGlobalData(); mgr.ReadCalibData(); mgr.WriteCalibCmd();
    mgr.ReadTemperature(); mgr.ReadDebugData(); mgr.WriteCommand();
  }

  // One tick followed by a good answer.
  void ServeAnswered() {
    mgr.TimerTick();
    mgr.Callback();
  }
};

}  // namespace

TEST(Scheduler, ServesOnePendingKindPerTickInPriorityOrderThenPolls) {
  SchedulerHarness h;
  h.mgr.Start();
  h.RaiseAll();
  for (int i = 0; i < 17; ++i) h.ServeAnswered();
  const std::vector<std::string> expected{
      "ReadMemNum",  "ReadMemNumAndCounters", "WriteOnOff",     "ReadGlobalData",
      "WriteGlobalData", "ReadCalibData",     "WriteCalibCmd",  "WriteMemNum",
      "WriteMemory", "WriteCommand",          "ReadSetData",    "ReadMemory",
      "WriteSetData", "WriteBled",            "ReadTemperature", "ReadDebugData",
      "ReadData"};
  EXPECT_EQ(h.log, expected);
}

TEST(Scheduler, RaisesBeforeATickCollapseIntoOneRequest) {
  SchedulerHarness h;
  h.mgr.Start();
  h.mgr.ReadMemory();
  h.mgr.ReadMemory();
  h.mgr.ReadMemory();
  h.ServeAnswered();
  h.ServeAnswered();
  EXPECT_EQ(h.log, (std::vector<std::string>{"ReadMemory", "ReadData"}));
}

TEST(Scheduler, TimerGapAfterAnswerAndTimeoutWhileWaiting) {
  SchedulerHarness h;
  EXPECT_FALSE(h.mgr.Running());  // idle after construction
  h.mgr.Start();
  EXPECT_TRUE(h.mgr.Running());
  EXPECT_EQ(h.mgr.TimerInterval(), 5);
  h.mgr.TimerTick();
  EXPECT_TRUE(h.mgr.Running());
  EXPECT_EQ(h.mgr.TimerInterval(), 1000);
  h.mgr.Callback();
  EXPECT_EQ(h.mgr.TimerInterval(), 5);
  EXPECT_EQ(h.mgr.ErrorCount(), 0);
}

TEST(Scheduler, JumpBootGoesFirstAndLeavesTheSchedulerStopped) {
  SchedulerHarness h;
  h.mgr.Start();
  h.RaiseAll();
  h.mgr.WriteJumpBoot();
  h.mgr.TimerTick();
  EXPECT_EQ(h.log, (std::vector<std::string>{"WriteJumpBoot"}));
  EXPECT_FALSE(h.mgr.Running());
}

TEST(Scheduler, OneMissingAnswerReportsTimeoutOnceAndAGoodAnswerResets) {
  SchedulerHarness h;
  h.mgr.Start();
  h.mgr.TimerTick();  // unanswered
  h.mgr.TimerTick();  // time-out tick issues the next request
  h.mgr.Callback();
  h.ServeAnswered();
  EXPECT_EQ(h.log, (std::vector<std::string>{"ReadData", "Timeout", "ReadData", "ReadData"}));
  EXPECT_EQ(h.mgr.ErrorCount(), 0);
}

TEST(Scheduler, ThreeMissingAnswersGiveTimeoutThenErrorThenSilence) {
  SchedulerHarness h;
  h.mgr.Start();
  for (int i = 0; i < 4; ++i) h.mgr.TimerTick();
  EXPECT_EQ(h.log, (std::vector<std::string>{"ReadData", "Timeout", "ReadData", "ReadData", "Error"}));
  EXPECT_FALSE(h.mgr.Running());
  h.mgr.Callback();  // restarts an idle scheduler
  EXPECT_TRUE(h.mgr.Running());
  EXPECT_EQ(h.mgr.ErrorCount(), 0);
}

TEST(Scheduler, StartDropsPendingRequestsAndErrors) {
  SchedulerHarness h;
  h.mgr.Start();
  h.mgr.TimerTick();
  h.mgr.TimerTick();
  h.RaiseAll();
  h.mgr.WriteJumpBoot();
  h.mgr.Stop();
  h.log.clear();
  h.mgr.Start();
  EXPECT_EQ(h.mgr.ErrorCount(), 0);
  h.mgr.TimerTick();
  EXPECT_EQ(h.log, (std::vector<std::string>{"ReadData"}));
}

TEST(Scheduler, StopKeepsCountersAndAnUnsetEventStillConsumesItsCounter) {
  SchedulerHarness h;
  h.mgr.SetOnReadMemory(nullptr);
  h.mgr.Start();
  h.mgr.WriteBled();
  h.mgr.ReadMemory();
  h.mgr.Stop();
  EXPECT_FALSE(h.mgr.Running());
  h.ServeAnswered();  // ReadMemory served silently
  h.ServeAnswered();
  h.ServeAnswered();
  EXPECT_EQ(h.log, (std::vector<std::string>{"WriteBled", "ReadData"}));
}

TEST(Scheduler, AnEventThatIssuesNothingWaitsTheFullTimeout) {
  SchedulerHarness h;
  h.mgr.SetOnWriteSetData([](void*) {});  // unchanged set values: nothing sent
  h.mgr.Start();
  h.mgr.WriteSetData();
  h.mgr.TimerTick();
  EXPECT_EQ(h.mgr.TimerInterval(), 1000);
  h.mgr.TimerTick();
  EXPECT_EQ(h.log, (std::vector<std::string>{"Timeout", "ReadData"}));
}
