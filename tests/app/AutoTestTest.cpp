// The auto-test window run from the main window against a simulated supply: what reaches the
// supply and when, the log of the run, closing during a run, and the table across restarts.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QTableWidget>
#include <QTest>

#include "advanced/AdvancedUnit.h"
#include "core/Dialogs.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "app/ToggleSwitch.h"
#include "autotest/PersistentTable.h"
#include "autotest/TestUnit.h"
#include "logging/DataLog.h"
#include "host/DataFolders.h"
#include "host/SettingsStore.h"
#include "panel/dsLeds.h"
#include "tests/support/SimProcess.h"
#include "tests/support/SimTrace.h"
#include "tests/support/TestEnvironment.h"

using namespace kelvora::test;

namespace {

class AutoTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettingsStore();
    QFile::remove(PersistentTablePath());
    SetDialogResponder([this](const TDialogRequest& request) {
      if (request.DialogType == TDialogRequest::Type::SaveFile) {
        Proposed << request.Text;
        return TDialogReply{QMessageBox::Ok, SavePath, {}};
      }
      Asked << request.Text;
      return TDialogReply{Replies.isEmpty() ? QMessageBox::Ok : Replies.takeFirst(), {}, {}};
    });
    static int run = 0;
    TracePath = QDir(IsolatedRoot()).filePath(QString("autotest-trace%1.jsonl").arg(++run));
  }
  void TearDown() override {
    Windows.reset();
    Sim.reset();
    SetDialogResponder({});
  }

  void Connect(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--rtu", "kpx-autotest", "--tcp", "0", "--trace",
                                  TracePath.toStdString()};
    args.insert(args.end(), extra.begin(), extra.end());
    Sim = std::make_unique<SimProcess>(args);
    RegWriteString("PORT", QString::fromStdString(Sim->PtyPath()));
    Windows = std::make_unique<TProgramWindows>();
    MainForm->LogList().SetDocumentOpener([](const QString&) { return true; });
    MainForm->show();
    Click(MainForm, "ConnectBtn");
    ASSERT_TRUE(QTest::qWaitFor([] { return MainForm->Connected(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([this] { return Polls() >= 2; }, 3000));
    Click(MainForm, "TestBtn");
    ASSERT_TRUE(TestForm->isVisible());
  }
  static void Click(QWidget* window, const char* name) {
    auto* button = window->findChild<QPushButton*>(name);
    ASSERT_NE(button, nullptr) << name;
    QTest::mouseClick(button, Qt::LeftButton);
  }
  // Three enabled steps with a disabled one between the first two.
  void SetThreeSteps() {
    TTestSteps& steps = TestForm->Steps();
    while (steps.Count() < 4) steps.Add();
    steps[0] = {700, 100, 1, true};
    steps[1] = {800, 150, 5, false};
    steps[2] = {900, 120, 2, true};
    steps[3] = {1000, 130, 1, true};
    TestForm->UpdateGrid();
  }
  size_t Polls() const {
    const auto polls = [](const TraceEntry& e) { return IsRead(e, 0, 10); };
    return SimTrace(TracePath).Requests(polls).size();
  }
  // A one-step run at 12.00 V whose link vanishes for two seconds from 8 s after the simulator
  // started (room for a slow start), with Auto Connect on. Returns the requests from the
  // reconnect's first read on.
  std::vector<TraceEntry> RunIntoALinkGlitch(bool leaveOutput = false) {
    Connect({"--fault", "vanish@8000-10000"});
    if (leaveOutput) AdvancedForm->LeaveOutputCheckBox()->click();
    Find<TToggleSwitch>(MainForm, "AutoConnectSwitch")->SetOn(true);
    TestForm->Steps()[0] = {1200, 100, 60, true};
    TestForm->UpdateGrid();
    Click(TestForm, "StartBtn");
    EXPECT_TRUE(TestForm->Running());
    const auto switchOn = [this] {
      return SimTrace(TracePath).Requests([](const TraceEntry& e) { return IsWrite(e, 9, 1); });
    };
    EXPECT_TRUE(QTest::qWaitFor([&] { return !switchOn().empty(); }, 3000));
    if (switchOn().empty() || switchOn()[0].T >= 8000) {
      ADD_FAILURE() << "the run did not start before the link vanished";
      return {};
    }
    EXPECT_TRUE(QTest::qWaitFor([] { return !MainForm->Connected(); }, 12000)) << "link lost";
    EXPECT_FALSE(TestForm->Running()) << "the lost connection ends the run";
    EXPECT_TRUE(QTest::qWaitFor([] { return MainForm->Connected(); }, 15000)) << "reconnected";
    EXPECT_TRUE(QTest::qWaitFor([this] { return Polls() >= PollsBefore(10000) + 3; }, 5000));
    const std::vector<TraceEntry> all = SimTrace(TracePath).Requests();
    size_t reconnect = all.size();
    for (size_t i = 0; i < all.size(); ++i)
      if (all[i].T >= 10000 && IsRead(all[i], 0, 15)) {
        reconnect = i;
        break;
      }
    return {all.begin() + long(reconnect), all.end()};
  }
  size_t PollsBefore(double t) const {
    return SimTrace(TracePath)
        .Requests([t](const TraceEntry& e) { return e.T < t && IsRead(e, 0, 10); })
        .size();
  }
  template <typename T>
  static T* Find(QWidget* window, const char* name) {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  std::vector<TraceEntry> Writes() const {
    return SimTrace(TracePath).Requests([](const TraceEntry& e) {
      return (e.Fc == 16 && e.Addr == 0) || (e.Fc == 6 && e.Addr == 9);
    });
  }

  std::unique_ptr<SimProcess> Sim;
  std::unique_ptr<TProgramWindows> Windows;
  QString TracePath;
  QString SavePath;
  QStringList Asked, Proposed;
  QList<QMessageBox::StandardButton> Replies;
};

QString Describe(const TraceEntry& e) {
  QStringList values;
  for (int v : e.Values) values << QString::number(v);
  return QString("%1@%2=%3").arg(e.Fc).arg(e.Addr).arg(values.join(','));
}

}  // namespace

TEST_F(AutoTest, AThreeStepRunWritesEachStepAtItsBoundaryAndSwitchesOffAfterTheLast) {
  Connect();
  SetThreeSteps();
  ASSERT_TRUE(TestForm->StartBtn()->isEnabled());
  const size_t before = Writes().size();
  Click(TestForm, "StartBtn");
  ASSERT_TRUE(TestForm->Running());
  EXPECT_FALSE(TestForm->StartBtn()->isEnabled());
  ASSERT_TRUE(QTest::qWaitFor([] { return !TestForm->Running(); }, 10000));
  ASSERT_TRUE(QTest::qWaitFor([this, before] { return Writes().size() >= before + 5; }, 3000));

  const std::vector<TraceEntry> all = Writes();
  const std::vector<TraceEntry> run(all.begin() + long(before), all.end());
  QStringList order;
  for (const TraceEntry& e : run) order << Describe(e);
  // The first step's set values reach the supply before its output goes on; the disabled
  // step never does.
  ASSERT_EQ(order.join(' ').toStdString(), "16@0=700,100 6@9=1 16@0=900,120 16@0=1000,130 6@9=0");
  const double on = run[1].T;
  EXPECT_NEAR(run[2].T - on, 1000, 1000);
  EXPECT_NEAR(run[3].T - on, 3000, 1000);
  EXPECT_NEAR(run[4].T - on, 4000, 1000);

  EXPECT_FALSE(MainForm->PowerOn());
  EXPECT_TRUE(TestForm->StartBtn()->isEnabled()) << "connected with the output off again";
  // Logging by time every 3 s: at the start, the first tick and the fourth.
  const auto& log = MainForm->LogList().LogList();
  ASSERT_EQ(log.size(), 3u);
  EXPECT_EQ(log[0].Uset, 700u);
  EXPECT_EQ(log[2].Uset, 1000u);
  EXPECT_FALSE(MainForm->Logging);

  SavePath = QDir(IsolatedRoot()).filePath("autotest-log");
  Click(TestForm, "SaveBtn");
  ASSERT_EQ(Proposed.size(), 1);
  const QString proposed = QFileInfo(Proposed[0]).fileName();
  EXPECT_TRUE(proposed.startsWith("Log_") && proposed.endsWith(".txt"))
      << Proposed[0].toStdString();
  QFile text(SavePath + ".txt");
  ASSERT_TRUE(text.open(QIODevice::ReadOnly));
  EXPECT_EQ(text.readAll().count("\r\n"), 4) << "the header and three entries";

  AdvancedForm->LogExcelRadioBtn()->setChecked(true);
  SavePath = QDir(IsolatedRoot()).filePath("autotest-book.xlsx");
  Click(TestForm, "SaveBtn");
  QFile book(SavePath);
  ASSERT_TRUE(book.open(QIODevice::ReadOnly));
  EXPECT_EQ(book.read(2), "PK");
  EXPECT_TRUE(Asked.isEmpty()) << Asked.join(" | ").toStdString();
}

TEST_F(AutoTest, LoggingByEventFollowsTheSetPointsOfEachStep) {
  Connect();
  AdvancedForm->LogEventRadioBtn()->setChecked(true);
  AdvancedForm->UoutComboBox()->setCurrentIndex(6);  // output changes never count
  AdvancedForm->IoutComboBox()->setCurrentIndex(6);
  TTestSteps& steps = TestForm->Steps();
  steps.Add();
  steps[0] = {600, 100, 1, true};
  steps[1] = {650, 100, 1, true};
  Click(TestForm, "StartBtn");
  EXPECT_TRUE(MainForm->Logging);
  ASSERT_TRUE(QTest::qWaitFor([] { return !TestForm->Running(); }, 8000));
  const auto& log = MainForm->LogList().LogList();
  ASSERT_EQ(log.size(), 2u) << "the start and the second step's set voltage";
  EXPECT_EQ(log[1].Uset, 650u);
}

TEST_F(AutoTest, DisconnectingEndsTheRun) {
  Connect();
  TestForm->Steps()[0].Time = 30;
  Click(TestForm, "StartBtn");
  ASSERT_TRUE(TestForm->Running());
  Click(MainForm, "DisconnectBtn");
  EXPECT_FALSE(TestForm->Running());
  EXPECT_FALSE(TestForm->StartBtn()->isEnabled()) << "nothing to start without a connection";
}

TEST_F(AutoTest, ClosingTheProgramDuringARunAsksAndOffersTheUnsavedLog) {
  Connect();
  TestForm->Steps()[0].Time = 30;
  Click(TestForm, "StartBtn");
  ASSERT_TRUE(TestForm->Running());
  Replies = {QMessageBox::Cancel};
  MainForm->close();
  EXPECT_EQ(Asked, QStringList{"Stop the autotest?"});
  EXPECT_TRUE(MainForm->isVisible());
  EXPECT_TRUE(MainForm->Connected());
  EXPECT_TRUE(TestForm->Running()) << "Cancel keeps the run going";

  Asked.clear();
  Replies = {QMessageBox::Ok, QMessageBox::Cancel};
  MainForm->close();
  ASSERT_EQ(Asked.size(), 2);
  EXPECT_EQ(Asked[0], "Stop the autotest?");
  EXPECT_TRUE(Asked[1].contains("not saved")) << Asked[1].toStdString();
  EXPECT_FALSE(TestForm->Running());
  EXPECT_FALSE(MainForm->PowerOn());
  EXPECT_TRUE(MainForm->isVisible()) << "Cancel on the log question keeps the program open";

  Asked.clear();
  Replies = {QMessageBox::Yes};
  SavePath = QDir(IsolatedRoot()).filePath("closing-log.txt");
  MainForm->close();
  EXPECT_EQ(Asked.size(), 1);
  EXPECT_TRUE(QFile::exists(SavePath)) << "saved before the log is emptied";
  EXPECT_FALSE(MainForm->isVisible());
}

TEST_F(AutoTest, TheStepTableSurvivesARestart) {
  {
    TProgramWindows windows;
    TTestSteps& steps = TestForm->Steps();
    steps.Add();
    steps[1] = {1234, 321, 75, false};
    MainForm->close();
  }
  {
    TProgramWindows windows;
    ASSERT_EQ(TestForm->Steps().Count(), 2);
    EXPECT_EQ(TestForm->Steps()[1].Uset, 1234u);
    EXPECT_FALSE(TestForm->Steps()[1].Enabled);
    MainForm->close();
  }
  // A changed byte: the next start has the one default step.
  QFile file(PersistentTablePath());
  ASSERT_TRUE(file.open(QIODevice::ReadWrite));
  file.seek(20);
  file.write("\x07");
  file.close();
  TProgramWindows windows;
  EXPECT_EQ(TestForm->Steps().Count(), 1);
  EXPECT_EQ(TestForm->Steps()[0].Uset, 500u);
}

TEST_F(AutoTest, TheRunsLogIsJournalledUntilTheUserThrowsItAwayAtClosing) {
  const QDir data(ProgramDataFolder());
  const QStringList before = data.entryList({"*.journal"}, QDir::Files);
  Connect();
  TestForm->Steps()[0].Time = 1;
  Click(TestForm, "StartBtn");
  ASSERT_TRUE(QTest::qWaitFor([] { return !TestForm->Running(); }, 5000));
  QStringList journals = data.entryList({"*.journal"}, QDir::Files);
  for (const QString& name : before) journals.removeAll(name);
  ASSERT_EQ(journals.size(), 1) << "the run's log is on the disk while it is not saved";
  const qsizetype lines = qsizetype(1 + MainForm->LogList().LogList().size());
  EXPECT_TRUE(QTest::qWaitFor(
      [&] {
        QFile journal(data.filePath(journals[0]));
        return journal.open(QIODevice::ReadOnly) && journal.readAll().count('\n') == lines;
      },
      3000))
      << "the header and every entry";

  Replies = {QMessageBox::No};
  MainForm->close();
  ASSERT_EQ(Asked.size(), 1);
  EXPECT_TRUE(Asked[0].contains("not saved")) << Asked[0].toStdString();
  EXPECT_FALSE(QFile::exists(data.filePath(journals[0]))) << "thrown away on purpose";
}

TEST_F(AutoTest, ALinkGlitchDuringARunSwitchesTheOutputOffAsTheFirstWriteOnReconnecting) {
  const std::vector<TraceEntry> after = RunIntoALinkGlitch();
  ASSERT_FALSE(after.empty()) << "no connect read after the glitch";
  const auto write = std::find_if(after.begin(), after.end(),
                                  [](const TraceEntry& e) { return e.Fc == 6 || e.Fc == 16; });
  ASSERT_NE(write, after.end());
  EXPECT_TRUE(IsWrite(*write, 9, 0)) << "first write after reconnecting: " << Describe(*write).toStdString();
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return Asked.contains("Auto test stopped at step 1: connection lost; output switched off"); },
      3000))
      << Asked.join(" | ").toStdString();
  EXPECT_FALSE(MainForm->PowerOn());
  EXPECT_EQ(MainForm->OnOffImage(), 1) << "the window shows the output off";
  EXPECT_EQ(std::count_if(after.begin(), after.end(), [](const TraceEntry& e) { return IsWrite(e, 9, 0); }), 1)
      << "switched off once";
}

TEST_F(AutoTest, TheLoggingOptionsMayLeaveTheOutputOnAfterALinkGlitch) {
  const std::vector<TraceEntry> after = RunIntoALinkGlitch(true);
  ASSERT_FALSE(after.empty());
  for (const TraceEntry& e : after) EXPECT_FALSE(IsWrite(e, 9, 0)) << "nothing switches the output";
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return Asked.contains("Auto test stopped at step 1: connection lost; output left on"); },
      3000))
      << Asked.join(" | ").toStdString();
  EXPECT_TRUE(MainForm->PowerOn()) << "the window follows the supply's output";
  EXPECT_EQ(MainForm->OnOffImage(), 2);
}

// The power figure in watts, shown and logged, is the product of the volts and amperes the
// supply reports, whichever current unit the model counts in.
class PowerFigure : public AutoTest, public ::testing::WithParamInterface<const char*> {};

TEST_P(PowerFigure, ShownAndLoggedIsVoltsTimesAmperes) {
  // 12.00 V into 4 ohms: 3 A, 36.00 W, on a model counting in 1 mA or in 10 mA.
  Connect({"--model", GetParam(), "--load", "4"});
  const bool milliamperes = CurrentDivider == 10;
  const double ampsPerUnit = milliamperes ? 0.001 : 0.01;
  AdvancedForm->LogIntervalComboBox()->setCurrentIndex(0);  // every second
  TestForm->Steps()[0] = {1200, milliamperes ? 4000u : 400u, 3, true};
  Click(TestForm, "StartBtn");
  ASSERT_TRUE(QTest::qWaitFor([] { return MainForm->gData.UOUT == 1200; }, 3000));
  const auto reading = [this] {
    const auto all = SimTrace(TracePath).Entries();
    for (auto e = all.rbegin(); e != all.rend(); ++e)
      if (e->Dir == "ans" && e->Fc == 3 && e->Values.size() == 10) return *e;
    return TraceEntry{};
  };
  // The digits of the output power, leftmost first, read as the panel shows them.
  const auto shownWatts = [] {
    QString text;
    for (int n = 6; n >= 1; --n) {
      const uint32_t digit =
          MainForm->findChild<TdsSevenSegmentDisplay*>(QString("SegPout%1").arg(n))->Value();
      if (digit < 10) text += QString::number(digit);
      if (n == 3) text += '.';
    }
    return text.toDouble();
  };
  ASSERT_TRUE(QTest::qWaitFor(
      [&] {
        const TraceEntry r = reading();
        return r.Values.size() == 10 && r.Values[3] > 0 &&
               std::abs(shownWatts() - r.Values[2] / 100.0 * r.Values[3] * ampsPerUnit) < 0.006;
      },
      3000))
      << "shown " << shownWatts() << " W for " << reading().Values[2] << " x " << reading().Values[3];
  EXPECT_NEAR(shownWatts(), 36.0, 0.05);
  EXPECT_EQ(MainForm->findChild<QLabel*>("PowerPanel")->text(), "Power 48.00 W") << "set power";

  ASSERT_TRUE(QTest::qWaitFor([] { return !TestForm->Running(); }, 8000));
  int logged = 0;
  for (const TLogRecord& record : MainForm->LogList().LogList()) {
    if (record.Uout == 0) continue;
    ++logged;
    EXPECT_NEAR(record.Pout / 100.0, record.Uout / 100.0 * record.Iout * ampsPerUnit, 0.011);
  }
  EXPECT_GE(logged, 1) << "entries taken with the output on";
  SavePath = QDir(IsolatedRoot()).filePath(QString("power-%1.txt").arg(GetParam()));
  Click(TestForm, "SaveBtn");
  QFile text(SavePath);
  ASSERT_TRUE(text.open(QIODevice::ReadOnly | QIODevice::Text));
  int checked = 0;
  for (const QString& line : QString::fromUtf8(text.readAll()).split('\n')) {
    const QStringList f = line.split(' ', Qt::SkipEmptyParts);
    bool ok = false;
    if (f.size() < 6 || (f[3].toDouble(&ok), !ok) || f[3].toDouble() == 0) continue;
    // time, U set, I set, U out, I out, P out
    EXPECT_NEAR(f[5].toDouble(), f[3].toDouble() * f[4].toDouble(), 0.011) << line.toStdString();
    ++checked;
  }
  EXPECT_EQ(checked, logged) << "every entry with the output on is in the file";
}

INSTANTIATE_TEST_SUITE_P(CurrentScales, PowerFigure, ::testing::Values("8005", "5020"));

TEST_F(AutoTest, ATableSavedOnOneModelRunsAtTheSameAmperesOnAnotherAndIsHeldToItsLimits) {
  Connect({"--model", "8005"});
  TTestSteps& steps = TestForm->Steps();
  steps.Add();
  steps[0] = {1500, 400, 1, true};   // 15.00 V, 0.400 A in the 8005's milliamperes
  steps[1] = {5000, 4000, 1, true};  // 50.00 V: more than a 3012 gives
  MainForm->close();
  Windows.reset();
  Sim.reset();
  Asked.clear();

  Connect({"--model", "3012"});  // counts in 10 mA, up to 31.00 V and 12.10 A
  const auto* grid = TestForm->findChild<QTableWidget*>("StringGrid1");
  ASSERT_NE(grid, nullptr);
  EXPECT_EQ(grid->item(0, 1)->text(), "15.00");
  EXPECT_EQ(grid->item(0, 2)->text(), "0.40");
  EXPECT_EQ(grid->item(1, 1)->text(), "31.00");
  EXPECT_EQ(grid->item(1, 2)->text(), "4.00");
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Asked.isEmpty(); }, 2000));
  EXPECT_EQ(Asked, QStringList{"Step 2 held to the connected supply's limits: 31.00 V, 12.10 A"});

  const size_t before = Writes().size();
  Click(TestForm, "StartBtn");
  ASSERT_TRUE(QTest::qWaitFor([] { return !TestForm->Running(); }, 8000));
  ASSERT_TRUE(QTest::qWaitFor([this, before] { return Writes().size() >= before + 4; }, 3000));
  const std::vector<TraceEntry> all = Writes();
  QStringList order;
  for (auto e = all.begin() + long(before); e != all.end(); ++e) order << Describe(*e);
  EXPECT_EQ(order.join(' ').toStdString(), "16@0=1500,40 6@9=1 16@0=3100,400 6@9=0");
  // Connecting again says nothing more: the table is within the limits now.
  Click(MainForm, "DisconnectBtn");
  Click(MainForm, "ConnectBtn");
  ASSERT_TRUE(QTest::qWaitFor([] { return MainForm->Connected(); }, 5000));
  QApplication::processEvents();
  EXPECT_EQ(Asked.size(), 1);
}
