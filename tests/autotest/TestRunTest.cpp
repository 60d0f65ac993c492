// A run through the step table, one tick a second, with the main window stood in for.
#include <gtest/gtest.h>

#include <QProgressBar>
#include <QPushButton>
#include <QTableWidget>

#include "host/SettingsStore.h"
#include "tests/autotest/FakeHost.h"
#include "tests/support/TestEnvironment.h"

using namespace kelvora::test;

namespace {

class TestRun : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettingsStore();
    Form = Main.MakeForm();
    Form->StartBtn()->setEnabled(true);
  }
  // Steps of the given durations; a negative duration is a disabled step.
  void SetSteps(std::vector<int> times) {
    TTestSteps& steps = Form->Steps();
    while (steps.Count() < static_cast<int>(times.size())) steps.Add();
    while (steps.Count() > static_cast<int>(times.size())) steps.DeleteLast();
    for (size_t i = 0; i < times.size(); ++i)
      steps[int(i)] = {uint32_t(100 * (i + 1)), uint32_t(10 * (i + 1)),
                       uint32_t(std::abs(times[i])), times[i] > 0};
    Form->UpdateGrid();
  }
  // Ticks until the run ends; what was set at which tick, and the tick the output went off.
  std::string RunToEnd(int maxTicks = 100) {
    QStringList timeline;
    int tick = 0;
    const auto take = [&] {
      for (const QString& e : Main.Events) timeline << QString("%1: %2").arg(tick).arg(e);
      Main.Events.clear();
    };
    take();
    while (Form->Running() && tick < maxTicks) {
      ++tick;
      Form->Timer1Timer();
      take();
    }
    return timeline.join(" | ").toStdString();
  }
  template <typename T = QWidget>
  T* Find(const char* name) const { return Form->findChild<T*>(name); }

  FakeMain Main;
  std::unique_ptr<TTestForm> Form;
};

}  // namespace

TEST_F(TestRun, StepsLastTheirTimeAndDisabledStepsCostNone) {
  SetSteps({2, -5, 3, -4});
  Form->StartBtnClick();
  EXPECT_EQ(RunToEnd(), "0: set 100 10 | 0: wait 500 | 0: on | 2: set 300 30 | 6: off")
      << "a disabled tail costs one extra second before the output goes off";
  EXPECT_FALSE(Form->Running());

  // A disabled head is passed over at the start; the last step ends on its own last tick.
  SetSteps({-3, 1, 2});
  Form->StartBtnClick();
  EXPECT_EQ(RunToEnd(), "0: set 200 20 | 0: wait 500 | 0: on | 1: set 300 30 | 3: off");
}

TEST_F(TestRun, EditingIsLockedWhileRunningAndSaveAppearsAfterwards) {
  SetSteps({1});
  EXPECT_FALSE(Find<QPushButton>("SaveBtn")->isEnabled()) << "nothing to save before a run";
  Form->StartBtnClick();
  ASSERT_TRUE(Form->Running());
  for (const char* name : {"StartBtn", "AddBtn", "DeleteBtn", "StringGrid1"})
    EXPECT_FALSE(Find(name)->isEnabled()) << name;
  EXPECT_TRUE(Find("SaveBtn")->isHidden());
  EXPECT_EQ(Find<QProgressBar>("ActivityIndicator1")->maximum(), 0) << "busy and animating";
  EXPECT_EQ(Find<QTableWidget>("StringGrid1")->currentRow(), 0);
  RunToEnd();
  for (const char* name : {"StartBtn", "AddBtn", "DeleteBtn", "StringGrid1", "SaveBtn"})
    EXPECT_TRUE(Find(name)->isEnabled()) << name;
  EXPECT_FALSE(Find("SaveBtn")->isHidden());
  EXPECT_EQ(Find<QProgressBar>("ActivityIndicator1")->maximum(), 1);
  Find<QPushButton>("SaveBtn")->click();
  EXPECT_EQ(Main.Saves, 1);
}

TEST_F(TestRun, AllStepsDisabledTakesOneEntryButNeverSwitchesOn) {
  SetSteps({-1, -2});
  Main.Log.WriteLogData(Main.Data);
  Main.Log.WriteLogData(Main.Data);
  Form->StartBtnClick();
  EXPECT_TRUE(Main.Events.isEmpty()) << Main.Events.join(", ").toStdString();
  EXPECT_FALSE(Form->Running());
  EXPECT_EQ(Main.Log.LogList().size(), 1u) << "the log is started afresh";
}

TEST_F(TestRun, ALinkLostDuringTheStartWaitLeavesTheOutputOff) {
  SetSteps({5});
  Main.DuringWait = [this] { Main.Connected = false; };
  Form->StartBtnClick();
  EXPECT_EQ(Main.Events.join(" | ").toStdString(), "set 100 10 | wait 500");
  EXPECT_FALSE(Form->Running());
}

TEST_F(TestRun, LoggingByTimeTakesTheStartTheFirstTickAndEveryThirdTick) {
  SetSteps({20});
  Main.Interval = 3;
  Form->StartBtnClick();
  EXPECT_FALSE(Main.Logging);
  std::vector<size_t> counts{Main.Log.LogList().size()};
  for (int tick = 1; tick <= 7; ++tick) {
    Form->Timer1Timer();
    counts.push_back(Main.Log.LogList().size());
  }
  EXPECT_EQ(counts, (std::vector<size_t>{1, 2, 2, 2, 3, 3, 3, 4}));
}

TEST_F(TestRun, LoggingByEventRunsFromTheStartUntilTheSequenceEnds) {
  SetSteps({2});
  Main.ByTime = false;
  Form->StartBtnClick();
  EXPECT_TRUE(Main.Logging);
  Form->Timer1Timer();
  EXPECT_TRUE(Main.Logging);
  Form->Timer1Timer();
  EXPECT_FALSE(Main.Logging);
  EXPECT_FALSE(Form->Running());
  EXPECT_EQ(Main.Log.LogList().size(), 1u) << "no entries by time";
}

TEST_F(TestRun, TheEndOfTheSequenceStopsTheTimerEvenWhenTheMainWindowDoesNot) {
  SetSteps({1});
  Form->StartBtnClick();
  Main.Form = nullptr;  // switching off no longer ends the run from outside
  Form->Timer1Timer();
  EXPECT_FALSE(Form->Running()) << "the timer must not count past the end";
}
