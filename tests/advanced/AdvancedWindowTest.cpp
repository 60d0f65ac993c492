// The advanced window opened from the main window, with a simulated supply behind it.

#include <QComboBox>
#include <QFile>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTimer>

#include "advanced/AdvancedUnit.h"
#include "advanced/ColorBox.h"
#include "app/ProgramWindows.h"
#include "app/ToggleSwitch.h"
#include "modbus/KRCOMPort.h"
#include "modbus/KRCOMPortConnector.h"
#include "tests/app/MainWindowFixture.h"

using namespace kelvora::test;

namespace {

class AdvancedWindow : public MainWindowFixture {
 protected:
  void TearDown() override {
    Advanced.reset();
    MainWindowFixture::TearDown();
  }
  // The main window and its advanced window, connected to the simulator.
  void Connect(std::vector<std::string> simArgs) {
    // An image that passes the check made before the supply is sent to its bootloader.
    QFile file(Images.filePath("image.bin"));
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(QByteArray(1024, '\x5A'));
    Image = file.fileName();
    StartSim(std::move(simArgs));
    OpenWindow();
    Advanced = std::make_unique<TAdvancedForm>(Form->FirmwareUpdateHost(), Form->DeviceSettingsHost());
    AdvancedForm = Advanced.get();
    SetDialogResponder([this](const TDialogRequest& r) {
      TDialogReply reply{QMessageBox::Ok, {}, {}};
      if (r.DialogType == TDialogRequest::Type::Color) reply.Color = Picked;
      if (r.DialogType == TDialogRequest::Type::OpenFile) reply.FileName = Image;
      if (r.DialogType == TDialogRequest::Type::Message) Messages << r.Text;
      return reply;
    });
    Click("ConnectBtn");
    ASSERT_TRUE(WaitConnected());
    ASSERT_TRUE(QTest::qWaitFor([this] { return Polls().size() >= 2; }, 3000));
  }
  QTemporaryDir Images;
  QString Image;
  // Opens the window modally and clicks aButton once it is up, after aEdit.
  void OpenAndClose(const char* aButton, const std::function<void()>& aEdit) {
    QTimer::singleShot(0, Advanced.get(), [this, aButton, aEdit] {
      aEdit();
      QTest::mouseClick(Advanced->findChild<QPushButton*>(aButton), Qt::LeftButton);
    });
    Form->P_AdvancedBtnClick();
  }
  std::vector<TraceEntry> GlobalWrites() const {
    return SimTrace(TracePath).Requests(
        [](const TraceEntry& e) { return e.Fc == 16 && e.Addr == 20 && e.Count == 11; });
  }

  std::unique_ptr<TAdvancedForm> Advanced;
  QColor Picked;
};

}  // namespace

TEST_F(AdvancedWindow, SaveWritesTheColoursIntoTheGlobalBlockAndCancelWritesNothing) {
  Connect({"--firmware", "43", "--pver", "43"});
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->fModel.Version == TVersion::ver_43; }, 2000));
  EXPECT_TRUE(Advanced->TabVisible(Advanced->CalibTab()));
  EXPECT_TRUE(Advanced->TabVisible(Advanced->BatteryTab()));

  // The boxes open on the supply's colours.
  OpenAndClose("CancelBtn", [this] {
    for (int row = 1; row <= 3; ++row)
      EXPECT_EQ(SelectedColor(Advanced->ColorBox(row)), Form->CLR(row)) << row;
    Advanced->UpdateColorBox(Advanced->ColorBox(1), 0xFF0000);
  });
  QTest::qWait(300);
  EXPECT_TRUE(GlobalWrites().empty());
  EXPECT_NE(Form->CLR(1), 0xFF0000u);

  Picked = QColor(0xFF, 0x80, 0x00);  // an unnamed orange, through the dialog
  OpenAndClose("OkBtn", [this] {
    Advanced->UpdateColorBox(Advanced->ColorBox(1), 0xFF0000);
    Advanced->UpdateColorBox(Advanced->ColorBox(2), 0x00FFFF);
    Advanced->ClrBtnClick(3);
  });
  EXPECT_EQ(Form->CLR(1), 0xFF0000u);
  EXPECT_EQ(Form->CLR(2), 0x00FFFFu);
  EXPECT_EQ(Form->CLR(3), 0x0080FFu);
  ASSERT_TRUE(QTest::qWaitFor([this] { return !GlobalWrites().empty(); }, 3000));
  const TraceEntry write = GlobalWrites().front();
  ASSERT_EQ(write.Values.size(), 11u);
  EXPECT_EQ(write.Values[8], ColorToRgb565(0xFF0000));
  EXPECT_EQ(write.Values[9], ColorToRgb565(0x00FFFF));
  EXPECT_EQ(write.Values[10], ColorToRgb565(0x0080FF));
}

TEST_F(AdvancedWindow, NothingConnectsWhileTheUpdateHoldsThePort) {
  Connect({"--firmware", "41", "--mgic", "19082"});
  ASSERT_TRUE(QTest::qWaitFor([this] { return Form->fModel.Version == TVersion::ver_4Z; }, 2000));
  EXPECT_TRUE(Advanced->TabVisible(Advanced->CalibTab()));
  EXPECT_FALSE(Advanced->TabVisible(Advanced->BatteryTab()));

  TFirmwareUpdate& update = Advanced->FirmwareUpdate();
  update.PrepareOpen();
  ASSERT_TRUE(Advanced->findChild<QPushButton*>("OpenFileBtn")->isEnabled());
  update.Timer1()->setInterval(50);
  update.OpenFileBtnClick();
  update.StartUpdateBtnClick();
  ASSERT_TRUE(update.Busy());
  // Held in the hand-over once the Modbus link is closed.
  ASSERT_TRUE(QTest::qWaitFor([this] { return !Form->Connected(); }, 2000));
  update.Timer1()->stop();
  ASSERT_TRUE(update.Busy());

  const size_t before = Requests().size();
  Click("ConnectBtn");
  QTest::qWait(100);
  // The port stays closed for the bootloader client to take.
  EXPECT_FALSE(Form->COMPortConnector()->ComPort()->Connected());
  EXPECT_TRUE(Find<QPushButton>("ConnectBtn")->isEnabled());
  // Nor does the automatic reconnection.
  Find<TToggleSwitch>("AutoConnectSwitch")->SetOn(true);
  QTest::qWait(700);
  EXPECT_FALSE(Form->COMPortConnector()->ComPort()->Connected());
  EXPECT_FALSE(Form->Connected());
  const std::vector<TraceEntry> requests = Requests();
  EXPECT_EQ(requests.size(), before);
  const auto jumps = SimTrace(TracePath).Requests([](const TraceEntry& e) { return e.Fc == 6 && e.Addr == 32; });
  ASSERT_EQ(jumps.size(), 1u);
  EXPECT_EQ(requests.back().T, jumps.back().T);
}

TEST_F(AdvancedWindow, LoggingUsesTheWindowsThresholdsAndTheyAreStoredWhenTheMainWindowCloses) {
  OpenWindow(false);
  Advanced = std::make_unique<TAdvancedForm>(Form->FirmwareUpdateHost(), Form->DeviceSettingsHost());
  AdvancedForm = Advanced.get();
  Advanced->UoutComboBox()->setCurrentIndex(6);
  Advanced->IoutComboBox()->setCurrentIndex(0);
  EXPECT_EQ(Form->LogUoutThreshold(), 6);
  EXPECT_EQ(Form->LogIoutThreshold(), 0);
  Advanced->LogEventRadioBtn()->click();
  Advanced->LogIntervalComboBox()->setCurrentIndex(11);
  EXPECT_FALSE(RegValueExists("LUEV"));
  Form->close();
  EXPECT_EQ(RegReadInteger("LOG"), 1);
  EXPECT_EQ(RegReadInteger("LTIM"), 11);
  EXPECT_EQ(RegReadInteger("LUEV"), 6);
  EXPECT_EQ(RegReadInteger("LIEV"), 0);
  EXPECT_EQ(RegReadInteger("EXCEL"), 0);
}
