// Every model of the family against a simulated supply of that model: the knobs, the set-point
// area and the auto-test stay inside the model's limits.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QPushButton>
#include <QTest>

#include "app/CategoryPanel.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "autotest/PersistentTable.h"
#include "autotest/TestUnit.h"
#include "core/Dialogs.h"
#include "core/UtilUnit.h"
#include "panel/EnterUnit.h"
#include "host/SettingsStore.h"
#include "tests/panel/UserInput.h"
#include "tests/support/SimProcess.h"
#include "tests/support/SimTrace.h"
#include "tests/support/TestEnvironment.h"
#include "widgets/LN_Knob.h"

using namespace kelvora::test;

namespace {

class ModelLimits : public ::testing::TestWithParam<TModelLimits> {
 protected:
  void SetUp() override {
    ClearSettingsStore();
    QFile::remove(PersistentTablePath());
    SetDialogResponder([this](const TDialogRequest& request) {
      Messages << request.Text;
      return TDialogReply{QMessageBox::Ok, {}, {}};
    });
    static int run = 0;
    TracePath = QDir(IsolatedRoot()).filePath(QString("limits-trace%1.jsonl").arg(++run));
    Sim = std::make_unique<SimProcess>(std::vector<std::string>{
        "--rtu", "kpx-limits", "--tcp", "0", "--model", std::to_string(GetParam().Model),
        "--trace", TracePath.toStdString()});
    RegWriteString("PORT", QString::fromStdString(Sim->PtyPath()));
    Windows = std::make_unique<TProgramWindows>();
    MainForm->show();
  }
  void TearDown() override {
    Windows.reset();
    Sim.reset();
    SetDialogResponder({});
  }
  template <typename T = QWidget>
  static T* Find(QWidget* window, const char* name) {
    T* w = window->findChild<T*>(name);
    EXPECT_NE(w, nullptr) << name;
    return w;
  }
  size_t Polls() const {
    return SimTrace(TracePath).Requests([](const TraceEntry& e) { return IsRead(e, 0, 10); }).size();
  }
  void Settle() {
    const size_t before = Polls();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Polls() >= before + 3; }, 3000));
  }
  std::vector<TraceEntry> SetWrites() const {
    return SimTrace(TracePath).Requests([](const TraceEntry& e) { return e.Fc == 16 && e.Addr == 0; });
  }
  // No set value the supply was ever sent lies above the model's limits.
  void ExpectWritesWithinLimits(const char* what) const {
    for (const TraceEntry& e : SetWrites()) {
      ASSERT_EQ(e.Values.size(), 2u);
      EXPECT_LE(e.Values[0], GetParam().Umax) << what;
      EXPECT_LE(e.Values[1], GetParam().Imax) << what;
    }
  }
  static void CtrlWheel(TLN_Knob* knob, int delta) {
    TurnWheel(knob, knob->rect().center(), delta, Qt::ControlModifier);
    QTest::qWait(30);  // the window's wheel lock-out
  }

  QString TracePath;
  QStringList Messages;
  std::unique_ptr<SimProcess> Sim;
  std::unique_ptr<TProgramWindows> Windows;
};

}  // namespace

TEST_P(ModelLimits, KnobsSetPointAreaAndAutoTestStayInsideTheModel) {
  const TModelLimits& model = GetParam();
  QTest::mouseClick(Find<QPushButton>(MainForm, "ConnectBtn"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([] { return MainForm->Connected(); }, 5000));
  Settle();

  auto* u = Find<TLN_Knob>(MainForm, "U_Knob");
  auto* i = Find<TLN_Knob>(MainForm, "I_Knob");
  EXPECT_EQ(u->Min(), 10);
  EXPECT_EQ(u->Max(), model.Umax);
  EXPECT_EQ(i->Min(), 1);
  EXPECT_EQ(i->Max(), model.Imax);

  // Ctrl and the wheel turn a knob to its top, which rests one unit short of the model's limit.
  CtrlWheel(u, 120);
  CtrlWheel(i, 120);
  Settle();
  ASSERT_FALSE(SetWrites().empty());
  EXPECT_EQ(SetWrites().back().Values, (std::vector<int>{model.Umax - 1, model.Imax - 1}));
  // One notch down from there is one unit lower.
  TurnWheel(u, u->rect().center(), -120);
  Settle();
  EXPECT_EQ(SetWrites().back().Values[0], model.Umax - 2);
  ExpectWritesWithinLimits("knobs");

  // With the cursor buttons shown nothing in the set-point area covers anything else, with the
  // temperature text where the model has a sensor.
  auto* cursorButtons = Find<QCheckBox>(MainForm, "UpDownCheckBox");
  if (!cursorButtons->isChecked()) cursorButtons->click();
  QWidget* setPanel = Find(MainForm, "SetPanel");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return Find(MainForm, "TempLabel")->isVisibleTo(setPanel) == model.TempSensor; }, 2000));
  std::vector<QWidget*> shown;
  for (QWidget* child : setPanel->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (child->isVisibleTo(setPanel)) shown.push_back(child);
  for (size_t a = 0; a < shown.size(); ++a)
    for (size_t b = a + 1; b < shown.size(); ++b)
      EXPECT_FALSE(shown[a]->geometry().intersects(shown[b]->geometry()))
          << shown[a]->objectName().toStdString() << " overlaps " << shown[b]->objectName().toStdString();

  // An auto-test step made for the family's largest model is held to this model's limits.
  QTest::mouseClick(Find<QPushButton>(MainForm, "TestBtn"), Qt::LeftButton);
  TestForm->Steps()[0] = {8100, 5100, 1, true};
  TestForm->UpdateGrid();
  const size_t before = SetWrites().size();
  QTest::mouseClick(TestForm->StartBtn(), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([] { return !TestForm->Running(); }, 6000));
  EXPECT_GT(SetWrites().size(), before) << "the step was written";
  ExpectWritesWithinLimits("auto-test");

  // Digits typed into the set values stop at the model's limits, as the knobs do.
  for (const char* panel : {"UsetPanel", "IsetPanel"}) {
    QTest::mouseClick(Find(MainForm, panel), Qt::LeftButton, {}, {4, 4});
    QTest::keyClicks(Find(MainForm, panel), "9999");
  }
  EXPECT_LE(MainForm->gData.USET, uint32_t(model.Umax));
  EXPECT_LE(MainForm->gData.ISET, uint32_t(model.Imax));
  Settle();
  ExpectWritesWithinLimits("digits");

  // The profile's protection limits: the model's voltage, its current and ten current units.
  Find<TCategoryPanel>(MainForm, "MemoryPanel")->SetCollapsed(false);
  ASSERT_TRUE(QTest::qWaitFor([] { return Find(MainForm, "M_OvpEdit")->isEnabled(); }, 2000));
  for (const char* edit : {"M_OvpEdit", "M_OcpEdit"}) {
    QTest::mouseClick(Find(MainForm, edit), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == EnterForm; }, 2000));
    QTest::keyClicks(EnterForm, "9999");
    MainForm->activateWindow();
    ASSERT_TRUE(QTest::qWaitFor([] { return !EnterForm->isVisible(); }, 2000));
  }
  EXPECT_LE(MainForm->gMemory.SOVP, uint32_t(model.Umax));
  EXPECT_LE(MainForm->gMemory.SOCP, uint32_t(model.Imax + 10 * CurrentDivider));
  EXPECT_TRUE(Messages.isEmpty()) << Messages.join(" | ").toStdString();
}

INSTANTIATE_TEST_SUITE_P(EveryModel, ModelLimits, ::testing::ValuesIn(kModelTable),
                         [](const ::testing::TestParamInfo<TModelLimits>& info) {
                           return "KPX" + std::to_string(info.param.Model);
                         });
