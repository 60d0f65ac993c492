// Preset buttons and the Profile panel against a simulated supply.
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QTimer>
#include <QToolButton>

#include "app/CategoryPanel.h"
#include "app/ProgramWindows.h"
#include "core/RegisterMap.h"
#include "panel/EnterUnit.h"
#include "tests/app/MainWindowFixture.h"

using namespace kelvora::test;

namespace {

constexpr int kCmd = 32;
constexpr int kMem = 35;

class Presets : public MainWindowFixture {
 protected:
  void Connect(std::vector<std::string> simArgs = {"--firmware", "43", "--pver", "43", "--state", "6"}) {
    StartSim(std::move(simArgs));
    OpenWindow();
    SetDialogResponder([this](const TDialogRequest& request) {
      Messages << request.Text;
      const bool question = request.Kind == TMsgKind::Confirmation;
      return TDialogReply{question ? Answer : QMessageBox::Ok, {}, {}};
    });
    Click("ConnectBtn");
    ASSERT_TRUE(WaitConnected());
    // The connect reads (preset number, preset block, global block) are served.
    ASSERT_TRUE(QTest::qWaitFor([this] { return Polls().size() >= 3; }, 3000));
    Form->findChild<QTimer*>("MemBtnTimer")->setInterval(kLongPress);
  }
  QToolButton* Button(const char* name) const { return Find<QToolButton>(name); }
  // Requests the window sent after the first `from` of the trace, polls left out.
  std::vector<TraceEntry> SentSince(size_t from) const {
    auto all = Requests();
    std::vector<TraceEntry> sent;
    for (size_t k = from; k < all.size(); ++k)
      if (!IsRead(all[k], 0, 10)) sent.push_back(all[k]);
    return sent;
  }
  bool WaitSent(size_t from, size_t count, int ms = 3000) {
    return QTest::qWaitFor([&] { return SentSince(from).size() >= count; }, ms);
  }
  void Recall(const char* name) {
    QTest::mouseClick(Button(name), Qt::LeftButton);
    WaitRecalled();
  }
  // The preset write answered and the reads after it served.
  void WaitRecalled() {
    ASSERT_TRUE(QTest::qWaitFor([this] { return Find("ToolBar1")->isEnabled(); }, 3000));
    const size_t polls = Polls().size();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Polls().size() >= polls + 3; }, 3000));
  }
  // Holds the button down past the long-press time, then lets go.
  void Hold(const char* name) {
    QToolButton* button = Button(name);
    QTest::mousePress(button, Qt::LeftButton);
    QTest::qWait(kLongPress * 4);
    QTest::mouseRelease(button, Qt::LeftButton);
  }
  QString Text(const char* name) const { return Find<QLineEdit>(name)->text().trimmed(); }
  bool Shown(const char* name) const { return Find(name)->isVisibleTo(Form.get()); }

  static constexpr int kLongPress = 40;
  QMessageBox::StandardButton Answer = QMessageBox::Yes;
};

}  // namespace

TEST_F(Presets, RecallSwitchesThenReadsSetValuesThenTheBlockWithTheToolbarLockedMeanwhile) {
  Connect();
  EXPECT_TRUE(Button("ToolButtonM0")->isChecked()) << "the active preset read on connect";
  const size_t mark = Requests().size();
  QTest::mouseClick(Button("ToolButtonM3"), Qt::LeftButton);
  EXPECT_FALSE(Find("ToolBar1")->isEnabled());
  EXPECT_FALSE(Find("M_SaveBtn")->isEnabled());
  ASSERT_TRUE(WaitSent(mark, 3));
  const auto sent = SentSince(mark);
  EXPECT_TRUE(IsWrite(sent[0], kMem, 3));
  EXPECT_TRUE(IsRead(sent[1], 0, 2));
  EXPECT_TRUE(IsRead(sent[2], Reg::MemoryBlockStart(3), 9));
  ASSERT_TRUE(QTest::qWaitFor([this] { return Find("ToolBar1")->isEnabled(); }, 2000));
  ASSERT_TRUE(QTest::qWaitFor([this] { return Text("M_UsetEdit") == "15.00"; }, 2000));
  EXPECT_EQ(Form->gData.USET, 1500u);
  EXPECT_TRUE(Find("M_SaveBtn")->isEnabled());
  EXPECT_EQ(Find<TCategoryPanel>("MemoryPanel")->Caption(), "M3 Profile");
}

TEST_F(Presets, BatteryPresetShowsTheChargeDisplayInPlaceOfTheVoltageKnob) {
  Connect();
  Recall("ToolButtonC2");
  EXPECT_EQ(Form->gData.MEM, 12u);
  EXPECT_EQ(Find<TCategoryPanel>("MemoryPanel")->Caption(), "C2 Profile");
  EXPECT_FALSE(Shown("U_Knob"));
  EXPECT_TRUE(Shown("ChargeProgressBar"));
  EXPECT_EQ(Find<QLabel>("ChargeLabel")->text(), "Charge Lithium Battery 3 Cell(s)");
  EXPECT_TRUE(Find("M_UsetEdit")->isEnabled()) << "battery profiles are editable from ver_42 on";
  EXPECT_EQ(Find<QProgressBar>("ChargeProgressBar")->value(), 0) << "output off: empty";
  Recall("ToolButtonM1");
  EXPECT_TRUE(Shown("U_Knob"));
  EXPECT_FALSE(Shown("ChargeProgressBar"));
  EXPECT_FALSE(Shown("ChargeLabel"));
}

TEST_F(Presets, BatteryPresetOnLayoutAFirmwareGreysTheValuesAndTheDefaultFlag) {
  Connect({"--firmware", "40"});
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->fModel.Version == TVersion::ver_40; }, 2000));
  Recall("ToolButtonC0");
  EXPECT_EQ(Find<TCategoryPanel>("MemoryPanel")->Caption(), "C0 Settings");
  for (const char* name : {"M_UsetEdit", "M_IsetEdit", "M_OvpEdit", "M_OcpEdit", "M_OppEdit",
                           "M_OtpEdit", "M_SaveBtn", "M_DefaultCheckBox"})
    EXPECT_FALSE(Find(name)->isEnabled()) << name;
  EXPECT_TRUE(Find("M_RefreshBtn")->isEnabled());
  EXPECT_EQ(Find<QCheckBox>("M_DefaultCheckBox")->text(), "Soft Front");
}

TEST_F(Presets, HoldingTheActiveMemoryButtonAsksAndYesStoresTheSetValuesInItsBlockOnly) {
  Connect();
  const uint32_t iset = Form->gData.ISET;
  const size_t mark = Requests().size();
  Hold("ToolButtonM0");
  ASSERT_EQ(Messages.size(), 1);
  EXPECT_TRUE(Messages[0].startsWith("Save M0 profile ?" + CR + "U set =  5.00 V" + CR + "I set = "))
      << Messages[0].toStdString();
  ASSERT_TRUE(WaitSent(mark, 2));
  const auto sent = SentSince(mark);
  ASSERT_EQ(sent[0].Fc, 16);
  EXPECT_EQ(sent[0].Addr, Reg::MemoryBlockStart(0));
  ASSERT_EQ(sent[0].Values.size(), 9u);
  EXPECT_EQ(sent[0].Values[0], 500);
  EXPECT_EQ(sent[0].Values[1], int(iset));
  EXPECT_TRUE(IsRead(sent[1], Reg::MemoryBlockStart(0), 9));
  QTest::qWait(150);
  for (const TraceEntry& e : SentSince(mark))
    EXPECT_FALSE(e.Fc == 6 && e.Addr == kMem) << "the release after the question is no recall";
}

TEST_F(Presets, NoLongPressPromptForInactiveOrBatteryButtonsAndNoLeavesEverythingAlone) {
  Connect();
  // An inactive button held down is an ordinary recall on release.
  size_t mark = Requests().size();
  Hold("ToolButtonM2");
  EXPECT_TRUE(Messages.isEmpty());
  WaitRecalled();
  ASSERT_FALSE(SentSince(mark).empty());
  EXPECT_TRUE(IsWrite(SentSince(mark)[0], kMem, 2));
  Recall("ToolButtonC1");
  Messages.clear();
  Hold("ToolButtonC1");
  EXPECT_TRUE(Messages.isEmpty()) << "battery presets never store the set values";
  WaitRecalled();  // its release was an ordinary recall
  Recall("ToolButtonM2");
  Answer = QMessageBox::No;
  const TMemorySet before = Form->gMemory;
  Messages.clear();
  mark = Requests().size();
  Hold("ToolButtonM2");
  ASSERT_EQ(Messages.size(), 1);
  QTest::qWait(200);
  EXPECT_TRUE(SentSince(mark).empty());
  EXPECT_EQ(Form->gMemory.USET, before.USET);
  EXPECT_EQ(Form->gMemory.ISET, before.ISET);
}

TEST_F(Presets, ProfileSaveWritesTheBlockThenTheCommandThenTheSetValues) {
  Connect();
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->fModel.Version == TVersion::ver_43; }, 2000));
  Find<TCategoryPanel>("MemoryPanel")->SetCollapsed(false);
  Form->gMemory.USET = 1234;  // as an entry window leaves it
  Find<QCheckBox>("M_DefaultCheckBox")->setChecked(true);
  Find<QCheckBox>("M_PowerCheckBox")->setChecked(true);
  const uint32_t iset = Form->gMemory.ISET;
  const size_t mark = Requests().size();
  Click("M_SaveBtn");
  EXPECT_EQ(Form->gData.USET, 1234u) << "the saved preset's set values are the present ones";
  ASSERT_TRUE(WaitSent(mark, 3));
  const auto sent = SentSince(mark);
  ASSERT_EQ(sent[0].Fc, 16);
  EXPECT_EQ(sent[0].Addr, Reg::MemoryBlockStart(0));
  ASSERT_EQ(sent[0].Values.size(), 9u);
  EXPECT_EQ(sent[0].Values[0], 1234);
  EXPECT_EQ(sent[0].Values[6], 1) << "Default on start";
  EXPECT_EQ(sent[0].Values[7], 1) << "Power on start";
  EXPECT_TRUE(IsWrite(sent[1], kCmd, 2));
  ASSERT_EQ(sent[2].Fc, 16);
  EXPECT_EQ(sent[2].Addr, 0);
  EXPECT_EQ(sent[2].Values, (std::vector<int>{1234, int(iset)}));
}

TEST_F(Presets, ProfileFieldIsEditedInTheEntryWindowOverIt) {
  Connect();
  EnterForm = new TEnterForm(Form.get());  // owned by the window, as in the program
  Find<TCategoryPanel>("MemoryPanel")->SetCollapsed(false);
  ASSERT_TRUE(QTest::qWaitFor([this] { return Find("M_OvpEdit")->isEnabled(); }, 2000));
  const uint32_t sovp = Form->gMemory.SOVP;
  QTest::mouseClick(Find("M_OvpEdit"), Qt::LeftButton);
  ASSERT_TRUE(QTest::qWaitFor([] { return EnterForm->isVisible(); }, 2000));
  EXPECT_EQ(EnterForm->pos(), Find("M_OvpEdit")->mapToGlobal(QPoint(1, 1)));
  EXPECT_EQ(EnterForm->toolTip(), "Over Voltage Protection");
  ASSERT_TRUE(QTest::qWaitFor([] { return QApplication::activeWindow() == EnterForm; }, 2000));
  QTest::keyClicks(EnterForm, "1234");
  Form->activateWindow();
  ASSERT_TRUE(QTest::qWaitFor([&] { return Form->gMemory.SOVP != sovp; }, 2000)) << Form->gMemory.SOVP;
  EXPECT_TRUE(QTest::qWaitFor(
      [this] { return Text("M_OvpEdit") == FormatFixed(Form->gMemory.SOVP, 3).trimmed(); }, 2000))
      << "the profile texts are rewritten on leaving";
  EXPECT_FALSE(EnterForm->isVisible());
}

TEST_F(Presets, ProfileSaveOnLayoutAFirmwareMarksTheFlagAndSendsNoCommand) {
  Connect({"--firmware", "40"});
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->fModel.Version == TVersion::ver_40; }, 2000));
  Find<QCheckBox>("M_DefaultCheckBox")->setChecked(true);
  // Unchanged set values are still sent: the supply takes them from the saved preset.
  const size_t mark = Requests().size();
  Click("M_SaveBtn");
  ASSERT_TRUE(WaitSent(mark, 2));
  QTest::qWait(150);
  const auto sent = SentSince(mark);
  ASSERT_EQ(sent.size(), 2u);
  EXPECT_EQ(sent[0].Values.at(6), 0x8001);
  EXPECT_EQ(sent[1].Addr, 0);
}

TEST_F(Presets, ButtonsFollowTheNumberOfPresetsAndADisconnectReleasesThem) {
  Connect();
  auto visible = [this] {
    QStringList names;
    for (auto* b : Find("ToolBar1")->findChildren<QToolButton*>())
      if (b->isVisibleTo(Form.get())) names << b->text().trimmed();
    return names;
  };
  EXPECT_EQ(visible(), QStringList({"M0", "M1", "M2", "M3", "M4", "M5", "M6", "M7", "M8", "M9"}));
  Form->gData.MMAX = 12;
  Click("M_RefreshBtn");
  ASSERT_TRUE(QTest::qWaitFor([&] { return visible().size() == 12; }, 2000));
  EXPECT_EQ(visible().mid(10), QStringList({"C0", "C1"}));
  Click("DisconnectBtn");
  for (auto* b : Find("ToolBar1")->findChildren<QToolButton*>()) {
    EXPECT_FALSE(b->isChecked()) << b->objectName().toStdString();
    EXPECT_FALSE(b->isEnabled()) << b->objectName().toStdString();
  }
}

TEST_F(Presets, GalleryOfABatteryPresetWithTheProfileOpen) {
  Connect();
  Recall("ToolButtonC2");
  Find<TCategoryPanel>("MemoryPanel")->SetCollapsed(false);
  QTest::qWait(150);
  QDir().mkpath(KELVORA_GALLERY_DIR);
  const QString path = QDir(KELVORA_GALLERY_DIR).filePath("presets-battery-profile.png");
  EXPECT_TRUE(Form->grab().save(path)) << path.toStdString();
}
