// The "Parameters" panel against a simulated supply: the temperature unit and the over-heat
// limit, the flags in both register layouts, the backlight, and the side panels' accordion.
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSlider>

#include "app/CategoryPanel.h"
#include "app/ProgramWindows.h"
#include "features/Parameters.h"
#include "panel/EnterUnit.h"
#include "tests/app/MainWindowFixture.h"

using namespace kelvora::test;

namespace {

constexpr int kGlobalStart = 20;  // MMAX .. CLR3
constexpr int kMmax = 0, kPver = 1, kBckl = 2, kOhp = 3, kParam = 5;

class Parameters : public MainWindowFixture {
 protected:
  // Connected, the firmware identified, the Parameters panel open.
  void Connect(std::vector<std::string> simArgs, TVersion expected) {
    StartSim(std::move(simArgs));
    OpenWindow();
    EnterForm = new TEnterForm(Form.get());  // owned by the window, as in the program
    Click("ConnectBtn");
    ASSERT_TRUE(WaitConnected());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Form->fModel.Version == expected; }, 3000));
    // The first polls have confirmed the key lock; the global block, where there is one, is in.
    ASSERT_TRUE(QTest::qWaitFor([this] { return Polls().size() >= 2; }, 3000));
    if (expected != TVersion::ver_18) {
      ASSERT_TRUE(QTest::qWaitFor([&] { return !GlobalReads().empty(); }, 3000));
    }
    Panel("ParametersPanel")->SetCollapsed(false);
  }
  TCategoryPanel* Panel(const char* name) const { return Find<TCategoryPanel>(name); }
  std::vector<TraceEntry> GlobalReads() const {
    return SimTrace(TracePath).Requests([](const TraceEntry& e) { return IsRead(e, 16, 15); });
  }
  std::vector<TraceEntry> GlobalWrites() const {
    return SimTrace(TracePath).Requests(
        [](const TraceEntry& e) { return e.Fc == 16 && e.Addr == kGlobalStart; });
  }
  std::vector<TraceEntry> BacklightWrites() const {
    return SimTrace(TracePath).Requests([](const TraceEntry& e) { return e.Fc == 6 && e.Addr == 10; });
  }
  void ClickRadio(const char* name) { QTest::mouseClick(Find<QRadioButton>(name), Qt::LeftButton); }
  void ClickBox(const char* name) {
    auto* box = Find<QCheckBox>(name);
    QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(4, box->height() / 2));
  }
  // Saves and returns the global block sent.
  std::vector<int> SaveGlobalBlock() {
    const size_t before = GlobalWrites().size();
    Click("P_SaveBtn");
    EXPECT_TRUE(QTest::qWaitFor([&] { return GlobalWrites().size() == before + 1; }, 3000));
    const auto writes = GlobalWrites();
    return writes.empty() ? std::vector<int>{} : writes.back().Values;
  }
  QString OhpText() const { return Find<QLineEdit>("P_OHPEdit")->text(); }
};

}  // namespace

TEST(TemperatureUnits, RoundToTheNearestDegreeAndSurviveTheRoundTrip) {
  EXPECT_EQ(CelsiusToFahrenheit(70), 158u);
  EXPECT_EQ(CelsiusToFahrenheit(71), 160u);  // 159.8
  EXPECT_EQ(FahrenheitToCelsius(167), 75u);
  EXPECT_EQ(FahrenheitToCelsius(160), 71u);  // 71.1
  EXPECT_EQ(FahrenheitToCelsius(159), 71u);  // 70.6
  EXPECT_EQ(FahrenheitToCelsius(32), 0u);
  EXPECT_EQ(FahrenheitToCelsius(20), 0u) << "no wrap-around below freezing";
  for (uint32_t c = 0; c <= 300; ++c)
    ASSERT_EQ(FahrenheitToCelsius(CelsiusToFahrenheit(c)), c) << "a limit never drifts unedited";
}

TEST_F(Parameters, FahrenheitLimitIsEditedInPlaceAndSavedInCelsius) {
  ASSERT_NO_FATAL_FAILURE(Connect({"--model", "5015", "--firmware", "43", "--pver", "43", "--state", "1"},
                                  TVersion::ver_43));
  EXPECT_TRUE(Find("CF_RadioGroup")->isEnabled());
  EXPECT_EQ(Find<QSlider>("P_BacklightTrackBar")->maximum(), 6);
  EXPECT_EQ(Find<QSlider>("P_BacklightTrackBar")->value(), 3) << "the supply's BLED";
  EXPECT_EQ(OhpText(), "80");
  Form->gData.OHP = 70;
  ClickRadio("CF_RadioGroupF");
  std::vector<int> block = SaveGlobalBlock();
  ASSERT_EQ(block.size(), 11u);
  EXPECT_EQ(block[kOhp], 70);
  EXPECT_EQ(block[kParam] & 1, 1) << "Fahrenheit";
  EXPECT_EQ(OhpText(), "158");
  EXPECT_TRUE(Find<QLabel>("TempLabel")->text().endsWith("F"));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !BacklightWrites().empty(); }, 3000));
  EXPECT_LT(GlobalWrites().back().T, BacklightWrites().back().T) << "global block first";

  QTest::mouseClick(Find("P_OHPEdit"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([] { return EnterForm->isVisible(); }, 2000));
  EXPECT_EQ(EnterForm->pos(), Find("P_OHPEdit")->mapToGlobal(QPoint(1, 1)));
  EXPECT_EQ(EnterForm->toolTip(), "Overheating Protection");
  EXPECT_EQ(EnterForm->findChild<QLabel*>("Label1")->text(), "F");
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == EnterForm; }, 2000));
  QTest::keyClicks(EnterForm, "167");
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->gData.OHP == 75; }, 2000));
  EXPECT_FALSE(EnterForm->isVisible()) << "returning to the main window closes it";
  EXPECT_EQ(OhpText(), "167");
  block = SaveGlobalBlock();
  ASSERT_EQ(block.size(), 11u);
  EXPECT_EQ(block[kOhp], 75);
  EXPECT_EQ(OhpText(), "167");

  // Back to Celsius: the limit is shown converted, not reinterpreted.
  ClickRadio("CF_RadioGroupC");
  block = SaveGlobalBlock();
  EXPECT_EQ(block[kOhp], 75);
  EXPECT_EQ(block[kParam] & 1, 0);
  EXPECT_EQ(OhpText(), "75");
}

TEST_F(Parameters, EntryWindowOpensOnlyWhileTheOutputIsOff) {
  ASSERT_NO_FATAL_FAILURE(Connect({}, TVersion::ver_43));
  Click("OnOffBtn");
  ASSERT_TRUE(Form->PowerOn());
  EXPECT_FALSE(Find("P_SaveBtn")->isEnabled());
  QTest::mouseClick(Find("P_MaxMemEdit"), Qt::LeftButton);
  QTest::qWait(50);
  EXPECT_FALSE(EnterForm->isVisible());
  Click("OnOffBtn");
  ASSERT_TRUE(Find("P_MaxMemEdit")->isEnabled());
  QTest::mouseClick(Find("P_MaxMemEdit"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([] { return EnterForm->isVisible(); }, 2000));
  EXPECT_EQ(EnterForm->toolTip(), "Max Memory Number");
  // Opening another panel puts the entry window away.
  Panel("ScopePanel")->SetCollapsed(false);
  EXPECT_FALSE(EnterForm->isVisible());
  EXPECT_TRUE(Panel("ParametersPanel")->Collapsed());
}

struct TFlagCase {
  std::vector<std::string> Args;
  TVersion Class;
  int BacklightMax;
  bool LayoutB;
};

class ParameterFlags : public Parameters, public ::testing::WithParamInterface<TFlagCase> {};

TEST_P(ParameterFlags, GoToTheRegistersOfTheFirmwaresLayout) {
  const TFlagCase& c = GetParam();
  ASSERT_NO_FATAL_FAILURE(Connect(c.Args, c.Class));
  EXPECT_EQ(Find<QSlider>("P_BacklightTrackBar")->maximum(), c.BacklightMax);
  const uint32_t otherBits = Form->gData.PARAM | 8;  // the battery source stays as it is
  Form->gData.PARAM = otherBits;
  ClickBox("P_ResetCountersCheckBox");
  ASSERT_TRUE(Find<QCheckBox>("P_ResetCountersCheckBox")->isChecked());
  EXPECT_FALSE(Form->fModel.RCNT) << "the flag changes only on Save";
  ClickRadio("CF_RadioGroupF");
  std::vector<int> block = SaveGlobalBlock();
  ASSERT_EQ(block.size(), 11u);
  EXPECT_TRUE(Form->fModel.RCNT && Form->fModel.CF);
  if (c.LayoutB) {
    EXPECT_EQ(block[kParam], static_cast<int>(otherBits | 3));
  } else {
    EXPECT_EQ(block[kPver], 0x8001);
    EXPECT_EQ(block[kBckl], 0x8001);
    EXPECT_EQ(block[kParam], static_cast<int>(otherBits));
  }
  ClickBox("P_ResetCountersCheckBox");
  ClickRadio("CF_RadioGroupC");
  block = SaveGlobalBlock();
  if (c.LayoutB) {
    EXPECT_EQ(block[kParam], static_cast<int>(otherBits));
  } else {
    EXPECT_EQ(block[kPver], 0x8000);
    EXPECT_EQ(block[kBckl], 0x8000);
  }
  EXPECT_EQ(block[kMmax], 10);
}

INSTANTIATE_TEST_SUITE_P(
    Simulated, ParameterFlags,
    ::testing::Values(TFlagCase{{"--model", "5015", "--firmware", "40"}, TVersion::ver_40, 5, false},
                      TFlagCase{{"--model", "5015", "--firmware", "42", "--state", "1"},
                                TVersion::ver_42, 6, true}));

TEST_F(Parameters, ShowCursorButtonsTogglesTheSetPointArrows) {
  ASSERT_NO_FATAL_FAILURE(Connect({}, TVersion::ver_43));
  auto* box = Find<QCheckBox>("UpDownCheckBox");
  const bool shown = box->isChecked();
  ClickBox("UpDownCheckBox");
  EXPECT_NE(box->isChecked(), shown);
  EXPECT_EQ(Form->CursorButtonsVisible(), !shown);
  EXPECT_EQ(Find("UpDown2")->isVisibleTo(Form.get()), !shown);
  EXPECT_EQ(Find("CursorUpDown1")->isVisibleTo(Form.get()), !shown);
}

TEST_F(Parameters, TheSixthBacklightLevelSurvivesAReconnect) {
  ASSERT_NO_FATAL_FAILURE(Connect({}, TVersion::ver_43));
  Find<QSlider>("P_BacklightTrackBar")->setValue(6);
  Click("P_SaveBtn");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !BacklightWrites().empty(); }, 3000));
  EXPECT_EQ(BacklightWrites().back().Values, std::vector<int>{6});
  Click("DisconnectBtn");
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  ASSERT_TRUE(QTest::qWaitFor([&] { return GlobalReads().size() >= 2; }, 3000));
  // The simulator has answered; the window takes the answer in on its own time.
  auto* slider = Find<QSlider>("P_BacklightTrackBar");
  EXPECT_TRUE(QTest::qWaitFor([&] { return slider->maximum() == 6; }, 2000)) << slider->maximum();
  EXPECT_EQ(slider->value(), 6);
}

TEST_F(Parameters, FieldsWaitForTheConnectionAndTheirFirmwareClass) {
  StartSim({});
  OpenWindow();
  for (const char* name : {"P_SaveBtn", "P_OHPEdit", "P_MaxMemEdit", "P_BacklightTrackBar"})
    EXPECT_FALSE(Find(name)->isEnabled()) << name << " before connecting";
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->fModel.Version == TVersion::ver_43; }, 3000));
  EXPECT_TRUE(QTest::qWaitFor([this] { return Find("P_OHPEdit")->isEnabled(); }, 2000))
      << "an identified firmware makes the limit editable";
  EXPECT_TRUE(Find("P_MaxMemEdit")->isEnabled());
  EXPECT_TRUE(Find("P_SaveBtn")->isEnabled());
}

TEST_F(Parameters, UnidentifiedFirmwareGetsOnlyTheBacklight) {
  ASSERT_NO_FATAL_FAILURE(Connect({"--firmware", "18"}, TVersion::ver_18));
  EXPECT_FALSE(Find("P_OHPEdit")->isEnabled());
  EXPECT_FALSE(Find("CF_RadioGroup")->isEnabled());
  ClickBox("P_ResetCountersCheckBox");
  EXPECT_TRUE(Form->fModel.RCNT) << "no flag on the supply: the box acts at once";
  Find<QSlider>("P_BacklightTrackBar")->setValue(5);
  Click("P_SaveBtn");
  ASSERT_TRUE(QTest::qWaitFor([&] { return !BacklightWrites().empty(); }, 3000));
  EXPECT_EQ(BacklightWrites().back().Values, std::vector<int>{5});
  QTest::qWait(200);
  EXPECT_TRUE(GlobalWrites().empty());
}

TEST_F(Parameters, CollapsingTheOpenPanelExpandsConnectionHalfASecondLater) {
  ASSERT_NO_FATAL_FAILURE(Connect({}, TVersion::ver_43));
  EXPECT_TRUE(Panel("ComPortPanel")->Collapsed()) << "one panel open at a time";
  QElapsedTimer clock;
  Panel("ParametersPanel")->SetCollapsed(true);
  clock.start();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !Panel("ComPortPanel")->Collapsed(); }, 3000));
  EXPECT_GE(clock.elapsed(), 400);
  for (const char* name : {"ScopePanel", "MemoryPanel", "ParametersPanel"})
    EXPECT_TRUE(Panel(name)->Collapsed()) << name;
}
