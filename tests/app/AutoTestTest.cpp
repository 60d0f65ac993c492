// The auto-test window run from the main window against a simulated supply: what reaches the
// supply and when, the log of the run, closing during a run, and the table across restarts.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include "advanced/AdvancedUnit.h"
#include "core/Dialogs.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "autotest/PersistentTable.h"
#include "autotest/TestUnit.h"
#include "logging/DataLog.h"
#include "host/DataFolders.h"
#include "host/SettingsStore.h"
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

  void Connect() {
    Sim = std::make_unique<SimProcess>(std::vector<std::string>{
        "--rtu", "kpx-autotest", "--tcp", "0", "--trace", TracePath.toStdString()});
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
