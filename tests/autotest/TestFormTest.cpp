// The auto-test window as a user meets it: the grid, its buttons, the entry window over a cell,
// the close query, the stored table and the docking.
#include <gtest/gtest.h>

#include <QDir>
#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "core/Dialogs.h"
#include "autotest/PersistentTable.h"
#include "autotest/TestGrid.h"
#include "tests/autotest/FakeHost.h"
#include "tests/support/TestEnvironment.h"

using namespace kelvora::test;

namespace {

class TestForm : public ::testing::Test {
 protected:
  void SetUp() override {
    ClearSettingsStore();
    QFile::remove(PersistentTablePath());
    SetDialogResponder([this](const TDialogRequest& request) {
      Asked << request.Text;
      return TDialogReply{Reply, {}, {}};
    });
    Form = Main.MakeForm();
  }
  void TearDown() override {
    Form.reset();
    SetDialogResponder({});
  }
  TTestGrid* Grid() const { return Form->findChild<TTestGrid*>("StringGrid1"); }
  QString Cell(int row, int column) const { return Grid()->item(row, column)->text(); }
  void Click(const char* name) {
    QTest::mouseClick(Form->findChild<QPushButton*>(name), Qt::LeftButton);
  }
  void PressCell(int row, int column, Qt::MouseButton button = Qt::LeftButton,
                 Qt::KeyboardModifiers modifiers = {}) {
    const QRect cell = Grid()->visualRect(Grid()->model()->index(row, column));
    QTest::mouseClick(Grid()->viewport(), button, modifiers, cell.center());
  }

  FakeMain Main;
  std::unique_ptr<TTestForm> Form;
  QStringList Asked;
  QMessageBox::StandardButton Reply = QMessageBox::Ok;
};

}  // namespace

TEST_F(TestForm, AnEighteenthStepAndDeletingTheLastOneOnlyBeep) {
  Form->Steps()[0] = {777, 55, 9, false};
  for (int i = 0; i < 16; ++i) Click("AddBtn");
  ASSERT_EQ(Grid()->rowCount(), 17);
  EXPECT_EQ(Cell(16, 1), "7.77") << "each new step copies the last";
  EXPECT_FALSE(Grid()->StepEnabledShown(16));
  EXPECT_EQ(Main.Beeps, 0);
  Click("AddBtn");
  EXPECT_EQ(Main.Beeps, 1);
  EXPECT_EQ(Grid()->rowCount(), 17);

  Form->Steps()[16].Uset = 1600;
  Grid()->setCurrentCell(2, 1);
  Click("DeleteBtn");
  EXPECT_EQ(Form->Steps().Count(), 16) << "the last step goes, whichever row is selected";
  EXPECT_EQ(Form->Steps()[2].Uset, 777u);
  while (Grid()->rowCount() > 1) Click("DeleteBtn");
  EXPECT_EQ(Main.Beeps, 1);
  Click("DeleteBtn");
  EXPECT_EQ(Main.Beeps, 2);
  EXPECT_EQ(Form->Steps().Count(), 1);
}

TEST_F(TestForm, OnlyAPlainLeftPressOnTheCheckBoxTogglesTheStep) {
  Form->show();
  PressCell(0, 0, Qt::LeftButton, Qt::ControlModifier);
  PressCell(0, 0, Qt::RightButton);
  PressCell(0, 1);
  EXPECT_TRUE(Form->Steps()[0].Enabled);
  PressCell(0, 0);
  EXPECT_FALSE(Form->Steps()[0].Enabled);
  EXPECT_FALSE(Grid()->StepEnabledShown(0));
  PressCell(0, 0);
  EXPECT_TRUE(Form->Steps()[0].Enabled);
}

TEST_F(TestForm, OneMilliampereModelsShowThreeCurrentDecimalsAndScaleThePower) {
  Form->CUR_DIVIDER = 10;
  Form->Steps()[0].Iset = 1500;
  Form->UpdateGrid();
  EXPECT_EQ(Cell(0, 2), "1.500");
  EXPECT_EQ(Cell(0, 3), "7.50");  // 5.00 V x 1.500 A
}

TEST_F(TestForm, AValueCellOpensTheEntryWindowThatEditsTheStepInPlace) {
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  PressCell(0, 3);
  EXPECT_FALSE(Main.Entry.isVisible()) << "the power is never edited";
  PressCell(0, 1);
  ASSERT_TRUE(QTest::qWaitFor([this] { return Main.Entry.isVisible(); }, 2000));
  EXPECT_EQ(Main.Entry.pos(), Grid()->CellScreenRect(0, 1).topLeft() + QPoint(2, 2));
  EXPECT_EQ(Main.Entry.findChild<QLabel*>("Label1")->text(), "V");
  ASSERT_TRUE(
      QTest::qWaitFor([this] { return QApplication::activeWindow() == &Main.Entry; }, 2000));
  QTest::keyClicks(&Main.Entry, "1234");
  EXPECT_EQ(Form->Steps()[0].Uset, 1234u);
  EXPECT_EQ(Cell(0, 1), "12.34");
  EXPECT_EQ(Cell(0, 3), "24.68") << "the row is redrawn as the digits change";

  // Returning to the test window closes the entry window.
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Main.Entry.isVisible(); }, 2000));
  PressCell(0, 4);
  ASSERT_TRUE(QTest::qWaitFor([this] { return Main.Entry.isVisible(); }, 2000));
  EXPECT_EQ(Main.Entry.findChild<QLabel*>("Label1")->text(), "s");
}

TEST_F(TestForm, ClosingDuringARunAsksAndCancelKeepsItRunning) {
  Form->StartBtn()->setEnabled(true);
  Form->show();
  Form->StartBtnClick();
  ASSERT_TRUE(Form->Running());
  Reply = QMessageBox::Cancel;
  Form->close();
  EXPECT_EQ(Asked, QStringList{"Stop the autotest?"});
  EXPECT_TRUE(Form->isVisible());
  EXPECT_TRUE(Form->Running());
  EXPECT_TRUE(Main.PowerOn);
  Reply = QMessageBox::Ok;
  Form->close();
  EXPECT_FALSE(Form->isVisible());
  EXPECT_FALSE(Form->Running());
  EXPECT_FALSE(Main.PowerOn) << "OK switches the output off";
  Asked.clear();
  Form->show();
  Form->close();
  EXPECT_TRUE(Asked.isEmpty()) << "no question while idle";
}

TEST_F(TestForm, TheTableClosedWithTheWindowIsThereAtTheNextStart) {
  Form->AddBtnClick();
  Form->Steps()[1] = {1200, 300, 90, false};
  Form->show();
  Form->close();
  FakeMain next;
  auto restarted = next.MakeForm();
  ASSERT_EQ(restarted->Steps().Count(), 2);
  EXPECT_EQ(restarted->Steps()[1].Uset, 1200u);
  EXPECT_FALSE(restarted->Steps()[1].Enabled);
  EXPECT_EQ(restarted->findChild<QTableWidget*>("StringGrid1")->rowCount(), 2);
}

TEST_F(TestForm, DocksBesideTheMainWindowUntilTheUserMovesIt) {
  Main.Window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main.Window));
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  const QRect main = Main.Window.frameGeometry();
  EXPECT_EQ(Form->frameGeometry(), QRect(main.right() + 1, main.top(), 302, main.height()));
  QTest::qWait(50);
  EXPECT_TRUE(Form->Pinned()) << "its own docking move does not undock it";

  Main.Window.move(40, 30);
  ASSERT_TRUE(QTest::qWaitFor(
      [this] { return Main.Window.frameGeometry().topLeft() == QPoint(40, 30); }));
  Form->PinnedMove();
  EXPECT_EQ(Form->frameGeometry().topLeft(), QPoint(Main.Window.frameGeometry().right() + 1, 30));

  Form->move(400, 300);  // dragged away
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->Pinned(); }, 2000));
  Form->SetPinned(true);  // "Auto Test" again
  Form->FormShow();
  EXPECT_EQ(Form->frameGeometry().topLeft(), QPoint(Main.Window.frameGeometry().right() + 1, 30));
  QTest::qWait(50);
  EXPECT_TRUE(Form->Pinned());
}

TEST_F(TestForm, WhereBothFitSideBySideTheMainWindowMakesRoomInsteadOfBeingCovered) {
  const QRect screen = Main.Window.screen()->availableGeometry();
  Main.Window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&Main.Window));
  // Too far right for the test window to dock beside it, though both fit on the screen.
  Main.Window.move(screen.right() - Main.Window.frameGeometry().width() - 100, 40);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Main.Window.frameGeometry().top() == 40; }));
  Form->show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(Form.get()));
  const QRect main = Main.Window.frameGeometry();
  EXPECT_EQ(Form->frameGeometry(), QRect(main.right() + 1, 40, 302, main.height()));
  EXPECT_LE(Form->frameGeometry().right(), screen.right()) << "on the screen";
  EXPECT_EQ(main.top(), 40);
  QTest::qWait(50);
  EXPECT_TRUE(Form->Pinned());
}

TEST_F(TestForm, GalleryOfTheStepTable) {
  Click("AddBtn");
  Click("AddBtn");
  Form->show();
  QTest::qWait(50);
  QDir().mkpath(KELVORA_GALLERY_DIR);
  EXPECT_TRUE(Form->grab().save(QDir(KELVORA_GALLERY_DIR).filePath("autotest-steps.png")));
}
