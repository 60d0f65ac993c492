// The knob driven the way a user drives it: drags, clicks, keys and the wheel.

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <memory>
#include <numbers>
#include <vector>

#include "tests/widgets/KnobFixture.h"

namespace {

using kelvora::test::PositionAtAngle;
using kelvora::test::SetUpVoltageKnob;

class KnobTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fWindow = std::make_unique<QWidget>();
    fWindow->resize(200, 120);
    knob = new TLN_Knob(fWindow.get());  // owned by the window
    SetUpVoltageKnob(*knob);
    knob->move(0, 0);
    other = new QLineEdit(fWindow.get());
    other->setGeometry(110, 10, 80, 24);
    knob->OnChange = [this](TLN_Knob* sender) {
      EXPECT_EQ(sender, knob);
      seen.push_back(sender->Position());
    };
    fWindow->show();
    fWindow->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(fWindow.get()));
  }

  // A point on the knob at the given angle (clockwise from 3 o'clock).
  static QPoint At(double degrees, double radius = 35) {
    const double a = degrees * std::numbers::pi / 180;
    return {47 + int(std::lround(radius * std::cos(a))),
            47 + int(std::lround(radius * std::sin(a)))};
  }
  void Press(double degrees, Qt::KeyboardModifiers shift = {}) {
    QTest::mousePress(knob, Qt::LeftButton, shift, At(degrees));
  }
  void MoveTo(QPoint p) { QTest::mouseMove(knob, p); }
  // Moves the pointer from one angle to another in small steps, as a hand does.
  void Sweep(double from, double to, double step = 3) {
    const double dir = to > from ? step : -step;
    for (double a = from; dir > 0 ? a < to : a > to; a += dir) MoveTo(At(a));
    MoveTo(At(to));
  }
  void Release(double degrees, Qt::KeyboardModifiers shift = {}) {
    QTest::mouseRelease(knob, Qt::LeftButton, shift, At(degrees));
  }
  void Click(double degrees, Qt::KeyboardModifiers shift = {}) {
    QTest::mouseClick(knob, Qt::LeftButton, shift, At(degrees));
  }
  void Wheel(int delta, Qt::KeyboardModifiers shift = {}, bool* accepted = nullptr) {
    const QPointF pos(47, 47);
    QWheelEvent event(pos, knob->mapToGlobal(pos), QPoint(), QPoint(0, delta), Qt::NoButton, shift,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(knob, &event);
    if (accepted) *accepted = event.isAccepted();
  }

  std::unique_ptr<QWidget> fWindow;
  TLN_Knob* knob = nullptr;
  QLineEdit* other = nullptr;
  std::vector<int> seen;
};

// ---- Position model ----------------------------------------------------------------------

TEST_F(KnobTest, TenTurnsSpreadOverTheVoltageRange) {
  EXPECT_EQ(knob->Steps(), 509);
  EXPECT_NEAR(knob->AngleInterval(), 0.707, 0.001);

  EXPECT_TRUE(knob->UpdatePosition(5100));
  EXPECT_EQ(knob->Position(), 5100);  // Max itself is a position
  EXPECT_TRUE(knob->UpdatePosition(6000));
  EXPECT_EQ(knob->Position(), 5099);  // above the range: one short of Max
  knob->UpdatePosition(-7);
  EXPECT_EQ(knob->Position(), 10);
  EXPECT_FALSE(knob->UpdatePosition(10));

  knob->UpdatePosition(10 + 127);  // a quarter turn
  EXPECT_EQ(knob->Angle(), 90);
  EXPECT_EQ(knob->Turn(), 0);
  knob->UpdatePosition(10 + 509);  // one full turn
  EXPECT_EQ(knob->Angle(), 0);
  EXPECT_EQ(knob->Turn(), 1);
  knob->UpdatePosition(10 + 9 * 509 + 254);
  EXPECT_EQ(knob->Angle(), 180);
  EXPECT_EQ(knob->Turn(), 9);
  EXPECT_TRUE(seen.empty()) << "UpdatePosition never fires OnChange";
}

TEST_F(KnobTest, SettingThePositionFiresOnlyOnAChange) {
  knob->SetPosition(100);
  knob->SetPosition(100);
  knob->SetPosition(9999);
  EXPECT_EQ(seen, (std::vector<int>{100, 5099}));

  // A new bound clamps through the setter, and that is a change.
  knob->SetMin(5000);
  EXPECT_EQ(knob->Position(), 5099);
  knob->SetPosition(5050);
  knob->SetMin(5060);
  EXPECT_EQ(knob->Position(), 5060);
  EXPECT_EQ(seen.back(), 5060);

  // UpdateMinMax only stores the bounds.
  seen.clear();
  knob->UpdateMinMax(1, 2020);
  EXPECT_EQ(knob->Position(), 5060);
  EXPECT_EQ(knob->Steps(), 201);
  EXPECT_TRUE(seen.empty());
}

TEST_F(KnobTest, ANewRangePlacesTheIndicatorWhereThePositionIsInIt) {
  knob->UpdatePosition(500);
  ASSERT_EQ(knob->Turn(), 0);
  ASSERT_EQ(knob->Angle(), 347);  // 490 x 360 / 509
  knob->UpdateMinMax(10, 3100);
  EXPECT_EQ(knob->Turn(), 1);     // 490 div 309
  EXPECT_EQ(knob->Angle(), 211);  // 490 x 360 / 309 = 571, less a turn
  EXPECT_EQ(knob->Position(), 500);
  EXPECT_TRUE(seen.empty());
}

TEST_F(KnobTest, RangeShorterThanTenTurnsStillSteps) {
  knob->UpdateMinMax(0, 5);
  EXPECT_EQ(knob->Steps(), 0);
  knob->UpdatePosition(3);
  EXPECT_EQ(knob->Angle(), 0);
  EXPECT_EQ(knob->Turn(), 0);
  Press(0);
  Sweep(0, 90);
  Sweep(90, 0);
  Release(0);
  EXPECT_EQ(knob->Position(), 3) << "no turns to drag over";
  knob->setFocus();
  QTest::keyClick(knob, Qt::Key_Up);
  EXPECT_EQ(knob->Position(), 4);
}

// ---- Dragging ----------------------------------------------------------------------------

TEST_F(KnobTest, DraggingTurnsThePositionWithTheHand) {
  Press(0);
  EXPECT_TRUE(knob->hasFocus());
  Sweep(0, 90);
  EXPECT_NEAR(knob->Position(), 10 + 127, 2);
  EXPECT_NEAR(knob->Angle(), 90, 2);
  ASSERT_GE(seen.size(), 20u);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_GT(seen[i], seen[i - 1]);
  EXPECT_EQ(seen.back(), knob->Position());
  const int afterDrag = knob->Position();
  Release(90);
  EXPECT_EQ(knob->Position(), afterDrag) << "the release after a drag is no click";

  // Past 3 o'clock into the second turn and back.
  Press(90);
  Sweep(90, 400);
  EXPECT_EQ(knob->Turn(), 1);
  EXPECT_NEAR(knob->Position(), 10 + 566, 3);
  Sweep(400, 300);
  EXPECT_EQ(knob->Turn(), 0);
  EXPECT_NEAR(knob->Position(), 10 + 424, 3);
  Release(300);
}

TEST_F(KnobTest, DragStopsAtBothEnds) {
  // Anticlockwise past 3 o'clock in the first turn.
  Press(0);
  Sweep(0, -60);
  Release(-60);
  EXPECT_EQ(knob->Position(), 10);
  EXPECT_TRUE(seen.empty());

  // Clockwise past 3 o'clock in the last turn: the knob stays one short of Max.
  knob->UpdatePosition(5095);
  ASSERT_EQ(knob->Turn(), 9);
  const int start = knob->Angle();
  Press(start);
  Sweep(start, start + 10);
  const int stop = knob->Position();
  EXPECT_GE(stop, 5090);
  EXPECT_LE(stop, 5099);
  Sweep(start + 10, start + 80);
  EXPECT_EQ(knob->Position(), stop);
  EXPECT_EQ(knob->Turn(), 9);
  for (int value : seen) EXPECT_LT(value, 5100);
  // Turning back still works from where it stopped.
  Sweep(start + 80, start - 40);
  EXPECT_LT(knob->Position(), 5095);
  EXPECT_EQ(knob->Turn(), 9);
  Release(start - 40);
}

TEST_F(KnobTest, HalfATurnInOneMoveIsNoTurn) {
  knob->UpdatePosition(PositionAtAngle(*knob, 90));
  Press(90);
  MoveTo(At(270));
  EXPECT_TRUE(seen.empty());
}

TEST_F(KnobTest, TheCentreEndsADrag) {
  Press(0);
  Sweep(0, 40);
  const int reached = knob->Position();
  ASSERT_GT(reached, 10);
  MoveTo(QPoint(48, 49));  // within 5 pixels of the centre
  Sweep(200, 260);
  EXPECT_EQ(knob->Position(), reached);
  // Nor does the release that follows count as a click.
  Release(260);
  EXPECT_EQ(knob->Position(), reached);
}

TEST_F(KnobTest, LosingTheFocusEndsADrag) {
  Press(0);
  Sweep(0, 20);
  const int reached = knob->Position();
  other->setFocus();
  Sweep(20, 60);
  EXPECT_EQ(knob->Position(), reached);
}

// ---- Clicks ------------------------------------------------------------------------------

TEST_F(KnobTest, ClickOppositeTheIndicatorSteps) {
  // Indicator down (90): the click up (270) is not ahead within the half-turn: one down.
  const int down = PositionAtAngle(*knob, 90);
  knob->UpdatePosition(down);
  Click(270);
  EXPECT_EQ(knob->Position(), down - 1);

  // Indicator up (270): the click down (90) lies clockwise ahead: one up.
  const int up = PositionAtAngle(*knob, 270);
  knob->UpdatePosition(up);
  ASSERT_EQ(knob->Angle(), 270);
  Click(90);
  EXPECT_EQ(knob->Position(), up + 1);
  Click(90, Qt::ShiftModifier);
  EXPECT_EQ(knob->Position(), up + 1 + 10);
  Click(90, Qt::ControlModifier);
  EXPECT_EQ(knob->Position(), 5099);
  EXPECT_EQ(seen, (std::vector<int>{down - 1, up + 1, up + 11, 5099}));
}

TEST_F(KnobTest, ClickAheadStepsUpAndBehindStepsDown) {
  const int start = PositionAtAngle(*knob, 90);
  knob->UpdatePosition(start);
  Click(180);
  EXPECT_EQ(knob->Position(), start + 1);
  Click(0, Qt::ShiftModifier);  // a quarter turn behind
  EXPECT_EQ(knob->Position(), start + 1 - 10);
  Click(0, Qt::ControlModifier);
  EXPECT_EQ(knob->Position(), 10);
}

TEST_F(KnobTest, ClickNearTheIndicatorMovesItThere) {
  knob->UpdatePosition(PositionAtAngle(*knob, 90));
  Click(90);  // right on the indicator
  EXPECT_TRUE(seen.empty());
  Click(105);
  EXPECT_NEAR(knob->Angle(), 105, 2);
  EXPECT_EQ(knob->Position(), PositionAtAngle(*knob, knob->Angle()));
  EXPECT_EQ(seen.size(), 1u);
}

TEST_F(KnobTest, OnlyAPressOnTheFaceCounts) {
  knob->UpdatePosition(PositionAtAngle(*knob, 90));
  other->setFocus();
  QTest::mouseClick(knob, Qt::LeftButton, {}, QPoint(2, 2));  // corner, outside the circle
  QTest::mouseClick(knob, Qt::RightButton, {}, At(270));
  EXPECT_TRUE(seen.empty());
  EXPECT_FALSE(knob->hasFocus());
}

// ---- Keys and wheel ----------------------------------------------------------------------

TEST_F(KnobTest, KeysStepByUnitPageAndToTheEnds) {
  knob->UpdatePosition(1000);
  knob->setFocus();
  ASSERT_TRUE(knob->hasFocus());
  struct Case {
    Qt::Key key;
    Qt::KeyboardModifiers shift;
    int expected;
  };
  const Case cases[] = {
      {Qt::Key_Up, {}, 1001},
      {Qt::Key_Right, {}, 1002},
      {Qt::Key_Down, {}, 1001},
      {Qt::Key_Left, {}, 1000},
      {Qt::Key_Up, Qt::ShiftModifier, 1010},
      {Qt::Key_Left, Qt::ShiftModifier, 1000},
      {Qt::Key_PageUp, {}, 1010},
      {Qt::Key_PageDown, {}, 1000},
      {Qt::Key_PageDown, Qt::ControlModifier, 990},  // Shift is added, and wins
      {Qt::Key_Right, Qt::ControlModifier, 5099},
      {Qt::Key_Down, Qt::ControlModifier, 10},
      {Qt::Key_Down, {}, 10},
      {Qt::Key_PageUp, {}, 20},
      {Qt::Key_Home, {}, 10},
  };
  for (const Case& c : cases) {
    QTest::keyClick(knob, c.key, c.shift);
    EXPECT_EQ(knob->Position(), c.expected) << "key " << c.key << " shift " << int(c.shift);
  }
  EXPECT_EQ(seen.size(), 13u) << "steps that change nothing fire nothing";
}

TEST_F(KnobTest, StepsUpNeverLowerThePositionAtMax) {
  knob->UpdatePosition(5099);
  knob->setFocus();
  QTest::keyClick(knob, Qt::Key_Up);
  EXPECT_EQ(knob->Position(), 5100);
  QTest::keyClick(knob, Qt::Key_Up);
  QTest::keyClick(knob, Qt::Key_Up, Qt::ControlModifier);
  QTest::keyClick(knob, Qt::Key_PageUp);
  EXPECT_EQ(knob->Position(), 5100);
  EXPECT_EQ(seen, std::vector<int>{5100});
}

TEST_F(KnobTest, WheelStepsPerNotchAndPassesTheEventOn) {
  knob->UpdatePosition(1000);
  bool accepted = true;
  Wheel(120, {}, &accepted);
  EXPECT_EQ(knob->Position(), 1001);
  EXPECT_FALSE(accepted);
  Wheel(-120, Qt::ShiftModifier);
  EXPECT_EQ(knob->Position(), 991);
  Wheel(-120, Qt::ControlModifier);
  EXPECT_EQ(knob->Position(), 10);
  // A fine wheel: two half notches make one step.
  Wheel(60);
  EXPECT_EQ(knob->Position(), 10);
  Wheel(60);
  EXPECT_EQ(knob->Position(), 11);
}

// ---- Focus, spring, label, shape ---------------------------------------------------------

TEST_F(KnobTest, SpringLoadedKnobReturnsToZeroOnFocusLoss) {
  knob->UpdateMinMax(-100, 100);
  knob->UpdatePosition(40);
  knob->SetSpringLoaded(true);
  EXPECT_EQ(knob->Position(), 0);
  EXPECT_EQ(seen, std::vector<int>{0});
  knob->setFocus();
  QTest::keyClick(knob, Qt::Key_PageUp);
  EXPECT_EQ(knob->Position(), 10);
  QTest::keyClick(knob, Qt::Key_Tab);  // the knob is a tab stop; Tab leaves it
  EXPECT_TRUE(other->hasFocus());
  EXPECT_EQ(knob->Position(), 0);
  EXPECT_EQ(seen, (std::vector<int>{0, 10, 0}));
}

TEST_F(KnobTest, PositionLabelFollowsTheKnob) {
  auto label = std::make_unique<QLabel>(fWindow.get());
  knob->SetCaption("V");
  knob->SetPositionLabel(label.get());
  EXPECT_EQ(label->text(), "10 V");
  knob->SetPosition(250);
  EXPECT_EQ(label->text(), "250 V");
  knob->UpdatePosition(300);
  EXPECT_EQ(label->text(), "300 V");

  knob->hide();
  EXPECT_TRUE(label->isHidden());
  knob->show();
  EXPECT_FALSE(label->isHidden());
  knob->setEnabled(false);
  EXPECT_FALSE(label->isEnabled());
  knob->setEnabled(true);
  EXPECT_TRUE(label->isEnabled());

  label.reset();  // the knob forgets a destroyed label
  EXPECT_EQ(knob->PositionLabel(), nullptr);
  knob->SetPosition(400);
  knob->hide();
  EXPECT_EQ(knob->Position(), 400);
}

TEST_F(KnobTest, RingShowsTheState) {
  const QColor disabled = knob->DisabledBorderColor();
  const QColor focused = knob->FocusedBorderColor();
  const QColor unfocused = knob->UnfocusedBorderColor();
  // Which of the three state colours the ring is painted in, seen at its upper right.
  auto ring = [&] {
    const QColor seen = knob->grab().toImage().pixelColor(78, 16);
    auto distance = [&](const QColor& c) {
      return std::abs(c.red() - seen.red()) + std::abs(c.green() - seen.green()) +
             std::abs(c.blue() - seen.blue());
    };
    const QColor* best = &disabled;
    for (const QColor* c : {&focused, &unfocused})
      if (distance(*c) < distance(*best)) best = c;
    return *best;
  };
  other->setFocus();
  EXPECT_EQ(ring(), unfocused);
  knob->setFocus();
  EXPECT_EQ(ring(), focused);
  knob->SetShowFocusedState(false);
  EXPECT_EQ(ring(), unfocused);
  knob->setEnabled(false);
  EXPECT_EQ(ring(), disabled);
}

TEST_F(KnobTest, KnobStaysSquare) {
  knob->resize(120, 80);
  EXPECT_EQ(knob->size(), QSize(80, 80));
  knob->resize(98, 140);
  EXPECT_EQ(knob->size(), QSize(98, 98));
}

}  // namespace
