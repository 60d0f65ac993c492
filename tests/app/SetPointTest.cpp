// Set values, the output switch and identification, against a simulated supply.
#include <QKeyEvent>
#include <QLabel>

#include "app/ProgramWindows.h"
#include "panel/EnterUnit.h"
#include "panel/Indicator.h"
#include "tests/app/MainWindowFixture.h"
#include "tests/panel/UserInput.h"
#include "host/PortDiscovery.h"
#include "tests/sim/SimTools.h"
#include "widgets/LN_Knob.h"

#include <cmath>
#include <numbers>

using namespace kelvora::test;

namespace {

class SetPoint : public MainWindowFixture {
 protected:
  void Connect(std::vector<std::string> simArgs = {}) {
    StartSim(std::move(simArgs));
    OpenWindow();
    Click("ConnectBtn");
    ASSERT_TRUE(WaitConnected());
    ASSERT_TRUE(QTest::qWaitFor([this] { return Polls().size() >= 2; }, 3000));
  }
  std::vector<TraceEntry> SetWrites() const {
    return SimTrace(TracePath).Requests([](const TraceEntry& e) { return e.Fc == 16 && e.Addr == 0; });
  }
  std::vector<TraceEntry> OnOffWrites() const {
    return SimTrace(TracePath).Requests([](const TraceEntry& e) { return e.Fc == 6 && e.Addr == 9; });
  }
  // Lets the scheduler serve what is pending and a few polls follow.
  void Settle(int polls = 3) {
    const size_t before = Polls().size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Polls().size() >= before + polls; }, 3000));
  }
  void Key(const char* panel, Qt::Key key) { QTest::keyClick(Find(panel), key); }
  QPoint Centre(QWidget* w) { return w->rect().center(); }
};

}  // namespace

TEST_F(SetPoint, EditsBeforeATickCollapseIntoOneWriteAndUnchangedValuesSendNothing) {
  Connect();
  QWidget* panel = Find("UsetPanel");
  QTest::mouseClick(panel, Qt::LeftButton, {}, {4, 4});
  ASSERT_EQ(Form->UsetIndicator()->CursorPos(), 4);
  Key("UsetPanel", Qt::Key_Right);  // cursor on the volts digit
  const uint32_t before = Form->gData.USET;
  // Three steps within one event cycle: the scheduler cannot tick between them.
  Key("UsetPanel", Qt::Key_Up);
  Key("UsetPanel", Qt::Key_Up);
  Key("UsetPanel", Qt::Key_Up);
  EXPECT_EQ(Form->gData.USET, before + 300);
  Settle();
  auto writes = SetWrites();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].Values, (std::vector<int>{int(before + 300), int(Form->gData.ISET)}));
  // Up and down again: the pending write finds the values already sent.
  Key("UsetPanel", Qt::Key_Up);
  Key("UsetPanel", Qt::Key_Down);
  Settle();
  EXPECT_EQ(SetWrites().size(), 1u);
}

TEST_F(SetPoint, EditsWhileDisconnectedAreShownButNotSent) {
  Connect();
  Click("DisconnectBtn");
  const size_t sent = Requests().size();
  QTest::mouseClick(Find("UsetPanel"), Qt::LeftButton, {}, {4, 4});
  Key("UsetPanel", Qt::Key_Right);
  const uint32_t before = Form->gData.USET;
  Key("UsetPanel", Qt::Key_Up);
  EXPECT_EQ(Form->gData.USET, before + 100);
  EXPECT_EQ(Find<TdsSevenSegmentDisplay>("SegUset3")->Value(), (before + 100) / 100 % 10);
  QTest::qWait(200);
  EXPECT_EQ(Requests().size(), sent);
}

TEST_F(SetPoint, OutputSwitchWritesRegisterNineAndASupplyTripTurnsTheWindowOff) {
  // The trip holds from 1.5 s on: whether the output came on before it or is refused, it ends off.
  Connect({"--fault", "protect=1@1500-60000"});
  Click("OnOffBtn");
  EXPECT_TRUE(Form->PowerOn());
  EXPECT_EQ(Form->OnOffImage(), 2);
  ASSERT_TRUE(QTest::qWaitFor([this] { return OnOffWrites().size() == 1; }, 2000));
  EXPECT_EQ(OnOffWrites()[0].Values, std::vector<int>{1});
  // The simulator trips its over-voltage protection: the output goes off by itself.
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->PowerOn(); }, 4000));
  EXPECT_EQ(Form->OnOffImage(), 1);
  EXPECT_EQ(Find<QLabel>("ProtectLabel")->text(), "OVP");
  Click("OnOffBtn");
  Click("OnOffBtn");
  ASSERT_TRUE(QTest::qWaitFor([this] { return OnOffWrites().size() == 2; }, 2000));
  EXPECT_EQ(OnOffWrites()[1].Values, std::vector<int>{0}) << "on and off again before a tick: one write";
}

TEST_F(SetPoint, TurningTheKnobRemovesTheCursorFirst) {
  Connect();
  QTest::mouseClick(Find("UsetPanel"), Qt::LeftButton, {}, {4, 4});
  ASSERT_NE(Form->UsetIndicator()->CursorPos(), 0);
  auto* knob = Find<TLN_Knob>("U_Knob");
  knob->setFocus();
  const uint32_t before = Form->gData.USET;
  QTest::keyClick(knob, Qt::Key_Up);
  EXPECT_EQ(Form->UsetIndicator()->CursorPos(), 0);
  EXPECT_EQ(Form->gData.USET, before + 1);
}

TEST_F(SetPoint, WheelStepsAtMostOncePerTwentyMillisecondsAndOnlyOverSetDigits) {
  Connect();
  auto* digit = Find<TdsSevenSegmentDisplay>("SegUset3");
  const uint32_t before = Form->gData.USET;
  TurnWheel(digit, Centre(digit), 120);
  TurnWheel(digit, Centre(digit), 120);
  EXPECT_EQ(Form->gData.USET, before + 100) << "the second notch fell into the lock-out";
  QTest::qWait(30);
  // Over an output digit nothing changes, but the lock-out still starts.
  auto* out = Find<TdsSevenSegmentDisplay>("SegUout3");
  TurnWheel(out, Centre(out), 120);
  TurnWheel(digit, Centre(digit), 120);
  EXPECT_EQ(Form->gData.USET, before + 100);
  QTest::qWait(30);
  TurnWheel(digit, Centre(digit), -120);
  EXPECT_EQ(Form->gData.USET, before);
}

TEST_F(SetPoint, BatteryPresetsFixTheVoltage) {
  Connect();
  Form->gData.MEM = 10;
  Form->SetConnectedState(true, false);
  EXPECT_FALSE(Find("U_Knob")->isVisibleTo(Form.get()));
  EXPECT_FALSE(Form->UsetIndicator()->Enabled());
  EXPECT_TRUE(Form->IsetIndicator()->Enabled());
}

TEST_F(SetPoint, CountersRestartOnlyWhenTheSupplyAsksForIt) {
  uint32_t now = 1000000;
  Connect();
  Form->SetTickSource([&] { return now; });
  auto runFor = [&](uint32_t ms) {
    now += ms;
    QTest::qWait(250);  // display ticks see the new time
  };
  Form->fModel.RCNT = false;
  Click("OnOffBtn");
  runFor(5000);
  EXPECT_EQ(Form->Counters().fTime, 5u);
  Click("OnOffBtn");
  runFor(10000);
  Click("OnOffBtn");
  runFor(2000);
  EXPECT_EQ(Form->Counters().fTime, 7u) << "on-time continues after off and on";
  Click("OnOffBtn");
  Form->fModel.RCNT = true;
  Click("OnOffBtn");
  EXPECT_EQ(Form->Counters().fTime, 0u);
  EXPECT_EQ(Form->Counters().fAHCounter, 0u);
  EXPECT_EQ(Form->Counters().fWHCounter, 0u);
}

struct TFirmwareCase {
  std::vector<std::string> Args;
  TVersion Class;
  const char* Caption;
  const char* Notice;  // substring of the box shown once, or "" for none
};

class FirmwareClasses : public SetPoint, public ::testing::WithParamInterface<TFirmwareCase> {};

TEST_P(FirmwareClasses, IdentifyTheSupplyAndTellOnce) {
  const TFirmwareCase& c = GetParam();
  Connect(c.Args);
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->fModel.Version == c.Class; }, 2000));
  EXPECT_EQ(Form->windowTitle(), c.Caption);
  QTest::qWait(100);
  const auto notices = Messages.filter(c.Notice);
  EXPECT_EQ(notices.size(), QString(c.Notice).isEmpty() ? Messages.size() : 1) << Messages.join("|").toStdString();
  // A reconnect in the same run does not repeat the box.
  Click("DisconnectBtn");
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  QTest::qWait(200);
  EXPECT_EQ(Messages.filter(c.Notice).size(), notices.size());
}

INSTANTIATE_TEST_SUITE_P(
    Simulated, FirmwareClasses,
    ::testing::Values(
        TFirmwareCase{{"--firmware", "18"}, TVersion::ver_18, "KPX5005 ver. 1.8", ""},
        TFirmwareCase{{"--firmware", "36", "--model", "3005"}, TVersion::ver_36, "KPX3005 ver. 3.6",
                      "firmware is outdated"},
        TFirmwareCase{{"--firmware", "40"}, TVersion::ver_40, "KPX5005 ver. 4.0", "firmware is outdated"},
        TFirmwareCase{{"--firmware", "41"}, TVersion::ver_40, "KPX5005 ver. 4.1", "firmware is outdated"},
        TFirmwareCase{{"--firmware", "41", "--mgic", "19082"}, TVersion::ver_4Z, "KPX5005 ver. 4.1", ""},
        TFirmwareCase{{"--firmware", "42", "--state", "0x16"}, TVersion::ver_42, "KPX5005 ver. 4.2GT",
                      "firmware is outdated"},
        TFirmwareCase{{"--firmware", "43", "--pver", "43", "--state", "6"}, TVersion::ver_43,
                      "KPX5005 ver. 4.3GT", ""},
        TFirmwareCase{{"--firmware", "43", "--pver", "43", "--state", "0x10"}, TVersion::ver_43,
                      "QH5005 ver. 4.3", ""},
        TFirmwareCase{{"--firmware", "43", "--pver", "44"}, TVersion::ver_New, "KPX5005 ver. 4.3",
                      "This version of Kelvora is outdated."},
        TFirmwareCase{{"--firmware", "43", "--dvid", "1234"}, TVersion::ver_18, "KPX5005 ver. 4.3", ""}));

TEST_F(SetPoint, CurrentsShowThreeDecimalsOnMilliampereModelsAndTwoOtherwise) {
  Connect({"--model", "3005"});
  EXPECT_EQ(Form->IsetIndicator()->PointPos, 4u);
  EXPECT_EQ(Find("PointLed4")->x(), 71);
  Click("DisconnectBtn");
  Sim.reset();
  Form.reset();
  Connect({"--model", "5015"});
  EXPECT_EQ(Form->IsetIndicator()->PointPos, 3u);
  EXPECT_EQ(Find("PointLed4")->x(), 110);
  EXPECT_EQ(Find("SegIout3")->x(), 71);
}

TEST_F(SetPoint, AnOutputAlreadyOnAtConnectShowsTheRegulationColour) {
  Connect({"--model", "3005"});
  Click("OnOffBtn");
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->gData.ONOFF > 0; }, 3000));
  // The supply keeps its output on while the program lets go and connects again.
  Click("DisconnectBtn");
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->fModel.Version == TVersion::ver_43; }, 3000));
  Settle();
  EXPECT_TRUE(Form->PowerOn());
  EXPECT_TRUE(Find<TdsLed>("CVLed")->LedOn());
  for (const char* digit : {"SegUout1", "SegIout4", "SegPout1", "SegTime1"})
    EXPECT_EQ(Find<TdsSevenSegmentDisplay>(digit)->OnColor(), Form->CLR(2)) << digit;
  EXPECT_EQ(Find<TdsSevenSegmentDisplay>("SegUset1")->OnColor(), Form->CLR(1));
}

TEST_F(SetPoint, ThePowerButtonShowsItsImageBeforeTheFirstConnectionAsAfterADisconnect) {
  StartSim();
  OpenWindow();
  auto* button = Find<QPushButton>("OnOffBtn");
  const QImage before = button->grab().toImage();
  EXPECT_TRUE(button->text().isEmpty());
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  Click("DisconnectBtn");
  EXPECT_EQ(button->grab().toImage(), before);
}

TEST_F(SetPoint, EntryWindowsShareTheMainWindowsWheelLock) {
  Form = std::make_unique<TMainForm>();
  EnterForm = new TEnterForm(Form.get());  // owned by the window, as in the program
  Form->show();
  uint32_t value = 1000;
  TIndicator entryValue(0, 9999, 4, 1, &value);
  EnterForm->SetIndicator(&entryValue);
  EnterForm->show();
  auto* setDigit = Find<TdsSevenSegmentDisplay>("SegUset3");
  auto* entryDigit = EnterForm->findChild<TdsSevenSegmentDisplay*>("Seg1");
  ASSERT_NE(entryDigit, nullptr);
  const uint32_t uset = Form->gData.USET;
  TurnWheel(setDigit, Centre(setDigit), 120);
  ASSERT_EQ(Form->gData.USET, uset + 100);
  // The same notch's lock-out holds over the entry window too.
  TurnWheel(entryDigit, Centre(entryDigit), 120);
  EXPECT_EQ(value, 1000u);
  // Once the lock-out is over (20 ms, later on a loaded machine) a notch counts again, once.
  EXPECT_TRUE(QTest::qWaitFor([&] {
    TurnWheel(entryDigit, Centre(entryDigit), 120);
    return value != 1000u;
  }, 2000));
  EXPECT_EQ(value, 1001u);
}

TEST_F(SetPoint, AProtectionTripAfterConnectingToAnOutputAlreadyOnIsShown) {
  StartSim();
  // Someone switched the output on before the program came (another master, the supply's key).
  ModbusClient other = ModbusClient::Tcp("127.0.0.1", Sim->TcpPort());
  ASSERT_TRUE(other.Connected());
  ASSERT_TRUE(other.Write(9, uint16_t{1}));
  uint32_t now = 1000000;
  OpenWindow();
  Form->SetTickSource([&] { return now; });
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  Settle();
  ASSERT_TRUE(Form->PowerOn());
  EXPECT_EQ(Form->OnOffImage(), 2);
  now += 3000;
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->Counters().fTime == 3; }, 2000))
      << "the on-time runs";

  // The over-current limit of the active preset drops below the load's current: OCP trips.
  ASSERT_TRUE(other.Write(80 + 16 * int(Form->gData.MEM) + 3, uint16_t{1}));
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->PowerOn(); }, 3000)) << "the window follows";
  EXPECT_EQ(Form->OnOffImage(), 1);
  EXPECT_EQ(Find<QLabel>("ProtectLabel")->text(), "OCP");
  EXPECT_TRUE(Find<TdsLed>("ProtectLed")->LedOn());
  EXPECT_FALSE(Find<TdsLed>("CVLed")->LedOn());
  EXPECT_FALSE(Find<TdsLed>("CCLed")->LedOn());
  for (const char* digit : {"SegUout1", "SegIout4", "SegPout1", "SegTime1"})
    EXPECT_EQ(Find<TdsSevenSegmentDisplay>(digit)->OnColor(), Form->CLR(1)) << digit;
  EXPECT_TRUE(Form->UsetIndicator()->Enabled()) << "set values editable again";
  now += 5000;
  EXPECT_FALSE(QTest::qWaitFor([this] { return Form->Counters().fTime != 3; }, 500))
      << "the on-time stopped with the output";

  // Switched on again at the supply: the window follows that way too.
  ASSERT_TRUE(other.Write(80 + 16 * int(Form->gData.MEM) + 3, uint16_t{0}));
  ASSERT_TRUE(other.Write(9, uint16_t{1}));
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->PowerOn(); }, 3000));
  EXPECT_EQ(Form->OnOffImage(), 2);
  EXPECT_TRUE(QTest::qWaitFor([this] { return Find<TdsLed>("CVLed")->LedOn(); }, 2000));
  const std::vector<TraceEntry> windowWrites = OnOffWrites();
  for (const TraceEntry& e : windowWrites) EXPECT_NE(e.Values, std::vector<int>{0}) << "never switched off by the window";
}

TEST_F(SetPoint, AfterAModelChangeAOneNotchDragMovesTheSetValueByOneStep) {
  Connect({"--model", "5005"});
  const uint32_t uset = Form->gData.USET;
  Click("DisconnectBtn");
  Sim.reset();
  StartSim({"--model", "3005"});
  auto* ports = Find<QComboBox>("ComPortComboBox");
  ASSERT_TRUE(QTest::qWaitFor(
      [&] { return PortNameOf(ports->currentText()) == QString::fromStdString(Sim->PtyPath()); }, 3000));
  Click("ConnectBtn");
  ASSERT_TRUE(WaitConnected());
  Settle();
  ASSERT_EQ(Form->gData.USET, uset) << "the same set voltage on the other model";

  // Drag clockwise from the indicator, a degree at a time, until the value moves.
  auto* knob = Find<TLN_Knob>("U_Knob");
  const auto at = [knob](int degrees) {
    // A pixel on the face whose direction from the centre is that whole degree.
    const int c = knob->width() / 2;
    for (double r = 40; r > 20; r -= 0.5)
      for (double nudge : {0.0, -0.4, 0.4, -0.8, 0.8}) {
        const double a = (degrees + nudge) * std::numbers::pi / 180;
        const QPoint p(int(std::lround(c + r * std::cos(a))), int(std::lround(c + r * std::sin(a))));
        const int seen = int(std::nearbyint(std::atan2(c - p.y(), c - p.x()) * 180 / std::numbers::pi)) + 180;
        if (seen % 360 == (degrees % 360 + 360) % 360) return p;
      }
    ADD_FAILURE() << "no pixel at " << degrees << " degrees";
    return QPoint(c, 0);
  };
  const int start = knob->Angle();
  QTest::mousePress(knob, Qt::LeftButton, {}, at(start));
  for (int a = start + 1; a <= start + 10 && Form->gData.USET == uset; ++a) QTest::mouseMove(knob, at(a));
  QTest::mouseRelease(knob, Qt::LeftButton, {}, at(start + 10));
  EXPECT_EQ(Form->gData.USET, uset + 1) << "one step, not a jump";
  ASSERT_TRUE(QTest::qWaitFor([this] { return !SetWrites().empty(); }, 2000));
  EXPECT_EQ(SetWrites().back().Values[0], int(uset + 1));
}
