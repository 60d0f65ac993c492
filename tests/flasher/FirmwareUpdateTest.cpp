// The update panel driven as the user drives it, with a stand-in for the main window that owns a
// real serial connector, against the simulator on its pseudo-terminal.

#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "advanced/FirmwareUpdate.h"
#include "core/Dialogs.h"
#include "modbus/KRCOMPortConnector.h"
#include "modbus/KRModbus.h"
#include "tests/flasher/FlasherSupport.h"
#include "tests/support/SimProcess.h"

namespace kelvora::test {
namespace {

struct NoToken : TKRPackToken {
  void TransportFailed(int32_t) override {}
};

// The main window as far as the update sees it.
struct StandInMainWindow {
  TKRCOMPortConnector connector;
  TUpdateLink link = TUpdateLink::Serial;
  TVersion version = TVersion::ver_43;
  int jumpRequests = 0;
  bool keepConnection = false;  // a Disconnect that fails to close the port

  TFirmwareUpdateHost Host() {
    return {[this] { return connector.Connected(); },
            [this] {
              ++jumpRequests;
              TKRBuffer frame{};
              uint16_t rlen = 0;
              const uint8_t len = WriteHoldingRegisterPack(mbtRTU, 1, 32, 9148, frame, rlen);
              connector.Send(std::make_unique<TKRBuffer>(frame), len, {}, std::make_unique<NoToken>(),
                             false, rlen, 0, 0);
            },
            [this] {
              if (!keepConnection) connector.SetActive(false);
            },
            [this] { return link; },
            [this] { return version; },
            [this] { return connector.ComPort(); }};
  }
};

struct Answers {
  QMessageBox::StandardButton confirm = QMessageBox::Ok;
  QString file;
  QStringList errors;
};

class UpdatePanel : public ::testing::Test {
 protected:
  void SetUp() override {
    SetDialogResponder([this](const TDialogRequest& r) {
      TDialogReply reply;
      if (r.DialogType == TDialogRequest::Type::OpenFile) reply.FileName = answers.file;
      if (r.DialogType == TDialogRequest::Type::Message && r.Kind == TMsgKind::Confirmation) {
        confirmations << r.Text;
        reply.Button = answers.confirm;
      }
      if (r.DialogType == TDialogRequest::Type::Message && r.Kind == TMsgKind::Error) {
        answers.errors << r.Text;
        reply.Button = QMessageBox::Ok;
      }
      return reply;
    });
    window.resize(600, 400);
    update = std::make_unique<TFirmwareUpdate>(&window, main.Host());
    update->Timer1()->setInterval(100);  // the hand-over at a faster pace, with room for a loaded machine
    QObject::connect(update->ProgressBar2(), &QProgressBar::valueChanged, [this](int v) { bar << v; });
    window.show();
  }
  void TearDown() override { SetDialogResponder({}); }

  void StartSim(std::vector<std::string> extra = {}) {
    std::vector<std::string> args{"--rtu", dir.filePath("pty").toStdString(), "--flash-out",
                                  dir.filePath("flash.bin").toStdString(), "--trace",
                                  dir.filePath("trace.jsonl").toStdString()};
    args.insert(args.end(), extra.begin(), extra.end());
    sim = std::make_unique<SimProcess>(args);
    main.connector.SetPort(QString::fromStdString(sim->PtyPath()));
    main.connector.SetBaudRate(9600);
  }
  void Connect() {
    main.connector.SetActive(true);
    ASSERT_TRUE(main.connector.Connected());
  }
  void ChooseFile(const QByteArray& image) {
    answers.file = dir.filePath("fw.bin");
    WriteImage(answers.file, image);
    update->FormShow();
    update->PrepareOpen();
    ASSERT_TRUE(update->OpenFileBtn()->isEnabled());
    QTest::mouseClick(update->OpenFileBtn(), Qt::LeftButton);
    ASSERT_TRUE(update->StartUpdateBtn()->isEnabled());
  }
  bool RunToEnd() {
    QTest::mouseClick(update->StartUpdateBtn(), Qt::LeftButton);
    return QTest::qWaitFor([this] { return !update->Busy(); }, 20000);
  }
  QStringList Log() const { return update->Memo1()->toPlainText().split('\n'); }
  void ExpectPortGivenBack() {
    TKRCOMPort* port = main.connector.ComPort();
    EXPECT_FALSE(port->Connected());
    EXPECT_EQ(port->BaudRate(), 9600);
    EXPECT_EQ(port->Parity(), 0);
    EXPECT_TRUE(update->CancelBtn()->isEnabled());
    EXPECT_FALSE(update->OpenFileBtn()->isEnabled());
    EXPECT_FALSE(update->StartUpdateBtn()->isEnabled());
  }

  QTemporaryDir dir;
  std::unique_ptr<SimProcess> sim;
  StandInMainWindow main;
  Answers answers;
  QStringList confirmations;
  QWidget window;
  std::unique_ptr<TFirmwareUpdate> update;
  QList<int> bar;
};

TEST_F(UpdatePanel, ConnectedSupplyJumpsOnceIsFlashedAndGetsItsPortBack) {
  StartSim({"--boot-baud", "38400"});
  Connect();
  const QByteArray image = RandomImage(900, 3);
  ChooseFile(image);
  ASSERT_TRUE(RunToEnd());

  EXPECT_EQ(confirmations, QStringList{"The next step will change firmware on your KPX device"});
  EXPECT_EQ(Log(), (QStringList{"Please wait ...", "Activating device: OK", "File fw.bin", "File size is 900",
                                "Bootloader version : 3.1", "Device : STM32F303x4(6/8)/F334xx/F328xx ",
                                "Erase complete OK", "Writting ...", "File is written OK", "Verification ...",
                                "Verify OK", "Started OK"}));
  EXPECT_EQ(ReadImage(dir.filePath("flash.bin")).left(900), image);
  ASSERT_GE(bar.size(), 7);
  EXPECT_EQ(bar.mid(0, 7), (QList<int>{5, 10, 20, 30, 40, 50, 0}));
  EXPECT_EQ(main.jumpRequests, 1);
  ExpectPortGivenBack();

  // One jump write, and no Modbus request after it: the next line is the bootloader's.
  const QStringList trace = TraceLines(dir.filePath("trace.jsonl"));
  int jump = -1, requestsAfter = 0;
  for (int i = 0; i < trace.size(); ++i) {
    if (trace[i].contains("\"dir\":\"req\"") && jump >= 0) ++requestsAfter;
    if (trace[i].contains("\"fc\":6,\"addr\":32,\"count\":1,\"values\":[9148]")) {
      EXPECT_EQ(jump, -1) << "a second jump write";
      jump = i;
    }
  }
  ASSERT_GE(jump, 0) << trace.join('\n').toStdString();
  EXPECT_EQ(requestsAfter, 0);
  ASSERT_LT(jump + 1, trace.size());
  EXPECT_TRUE(trace[jump + 1].contains("\"event\":\"enter\"")) << trace[jump + 1].toStdString();
}

TEST_F(UpdatePanel, CancelInTheConfirmationBoxChangesNothing) {
  StartSim();
  Connect();
  ChooseFile(RandomImage(300));
  answers.confirm = QMessageBox::Cancel;
  QTest::mouseClick(update->StartUpdateBtn(), Qt::LeftButton);
  QTest::qWait(200);
  EXPECT_FALSE(update->Timer1()->isActive());
  EXPECT_FALSE(update->Busy());
  EXPECT_TRUE(update->StartUpdateBtn()->isEnabled());
  EXPECT_TRUE(Log().first().startsWith("The update is avialable"));
  EXPECT_EQ(main.jumpRequests, 0);
  EXPECT_TRUE(main.connector.Connected());
  main.connector.SetActive(false);
}

TEST_F(UpdatePanel, OpenFileIsOfferedOnlyForNewFirmwareOverAPlainSerialPort) {
  const auto offered = [this](TVersion v, TUpdateLink l) {
    main.version = v;
    main.link = l;
    update->PrepareOpen();
    return update->OpenFileBtn()->isEnabled();
  };
  EXPECT_TRUE(offered(TVersion::ver_40, TUpdateLink::Serial));
  EXPECT_TRUE(offered(TVersion::ver_New, TUpdateLink::Serial));
  EXPECT_FALSE(offered(TVersion::ver_36, TUpdateLink::Serial));
  EXPECT_FALSE(offered(TVersion::ver_43, TUpdateLink::Tcp));
  EXPECT_FALSE(offered(TVersion::ver_43, TUpdateLink::Bluetooth));
  EXPECT_FALSE(update->StartUpdateBtn()->isEnabled()) << "no update where no file can be chosen";

  EXPECT_EQ(UpdateLinkOf("TCP"), TUpdateLink::Tcp);
  EXPECT_EQ(UpdateLinkOf("COM7 (BT Serial)"), TUpdateLink::Bluetooth);
  EXPECT_EQ(UpdateLinkOf("COM3 USB-SERIAL CH340"), TUpdateLink::Serial);
}

TEST_F(UpdatePanel, InformationTextComesBackAtEveryShowing) {
  update->FormShow();
  const QString info = update->Memo1()->toPlainText();
  EXPECT_EQ(info.split("\n\n"),
            (QStringList{"The update is avialable for alternative firmware starting from version 4.0",
                         "To update the firmware via USB/UART select the file and click \"Start Update\"",
                         "WARNING: You can't update the firmware via Bluetooth or Wi-Fi !!!"}));
  update->Memo1()->appendPlainText("Started OK");
  update->FormShow();
  EXPECT_EQ(update->Memo1()->toPlainText(), info);
}

TEST_F(UpdatePanel, SupplyAlreadyInItsBootloaderIsFlashedWithoutAJumpRequest) {
  StartSim();
  JumpToBootloader(sim->PtyPath());
  ChooseFile(RandomImage(300));
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(main.jumpRequests, 0);
  EXPECT_EQ(Log().last(), "Started OK");
  ExpectPortGivenBack();
}

TEST_F(UpdatePanel, PortThatCannotBeReopenedIsReportedAndStillGivenBack) {
  main.connector.SetPort(dir.filePath("no-such-port"));
  ChooseFile(RandomImage(300));
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Log(), (QStringList{"Please wait ...", "Cannot open the port " + dir.filePath("no-such-port") +
                                                       " for the update"}));
  ExpectPortGivenBack();
}

TEST_F(UpdatePanel, PortStillInUseAtTheHandOverIsLeftAlone) {
  StartSim();
  Connect();
  main.connector.SetBaudRate(19200);
  main.keepConnection = true;
  ChooseFile(RandomImage(300));
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Log().last(), "The port " + QString::fromStdString(sim->PtyPath()) +
                              " is still in use: the update is not started");
  EXPECT_TRUE(main.connector.Connected());
  EXPECT_EQ(main.connector.BaudRate(), 19200);
  EXPECT_EQ(main.connector.Parity(), 0);
  EXPECT_TRUE(update->CancelBtn()->isEnabled());
  main.connector.SetActive(false);
}

TEST_F(UpdatePanel, BadImagesAreRefusedBeforeTheJumpAndARefusalInTheBootloaderRestartsTheFirmware) {
  StartSim();
  Connect();
  ChooseFile(RandomImage(300));
  const auto refused = [this](const QString& file) {
    answers.file = file;
    answers.errors.clear();
    QTest::mouseClick(update->OpenFileBtn(), Qt::LeftButton);
    QTest::mouseClick(update->StartUpdateBtn(), Qt::LeftButton);
    return answers.errors.size() == 1 && answers.errors[0].contains(file) &&
           answers.errors[0].endsWith(": nothing was sent to the supply") &&
           Log().last() == answers.errors[0] && !update->Busy();
  };
  const QString empty = dir.filePath("empty.bin"), huge = dir.filePath("huge.bin");
  WriteImage(empty, {});
  WriteImage(huge, RandomImage(300000));
  EXPECT_TRUE(refused(empty));
  EXPECT_TRUE(refused(huge));
  EXPECT_TRUE(refused("/dev/zero"));
  EXPECT_TRUE(refused(dir.filePath("missing.bin")));
  EXPECT_TRUE(confirmations.isEmpty());
  EXPECT_EQ(main.jumpRequests, 0);
  EXPECT_TRUE(main.connector.Connected()) << "the supply still runs its firmware";

  // Larger than this controller's flash, which only its bootloader tells: refused there, before
  // anything is erased, and the firmware that was left is started again.
  answers.file = dir.filePath("fw.bin");
  WriteImage(answers.file, RandomImage(70000));
  QTest::mouseClick(update->OpenFileBtn(), Qt::LeftButton);
  ASSERT_TRUE(RunToEnd());
  EXPECT_EQ(Log().mid(Log().size() - 2),
            (QStringList{"File is larger than the flash of 65536 bytes: nothing is erased or written",
                         "Update stopped: the supply's firmware is intact and was restarted"}));
  ExpectPortGivenBack();
  const QStringList trace = TraceLines(dir.filePath("trace.jsonl"));
  EXPECT_EQ(CountContaining(trace, "erase"), 0);
  EXPECT_EQ(CountContaining(trace, "\"name\":\"go\",\"ok\":true"), 1);
  EXPECT_TRUE(trace.last().contains("\"event\":\"leave\"")) << trace.last().toStdString();
}

TEST_F(UpdatePanel, SupplyLeftInItsBootloaderByAFailedUpdateIsFlashedAgain) {
  // The bootloader refuses block 2 the first time only, as after a glitch on the line.
  StartSim({"--fault", "nack-once=2"});
  Connect();
  const QByteArray image = RandomImage(1500, 5);
  ChooseFile(image);
  ASSERT_TRUE(RunToEnd());
  ASSERT_TRUE(Log().contains("NACK in Write")) << Log().join('\n').toStdString();
  EXPECT_EQ(Log().last(), "Update stopped: the flash is erased: run the update again");
  ExpectPortGivenBack();

  // Run again: the supply is not connected, so no jump is asked for: its bootloader is
  // flashed directly.
  ChooseFile(image);
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(Log().contains("Bootloader already active")) << Log().join('\n').toStdString();
  EXPECT_EQ(Log().last(), "Started OK");
  EXPECT_EQ(ReadImage(dir.filePath("flash.bin")).left(image.size()), image);
  EXPECT_EQ(main.jumpRequests, 1);
  ExpectPortGivenBack();
}

TEST_F(UpdatePanel, WindowRefusesToCloseUntilThePortIsGivenBack) {
  StartSim();
  JumpToBootloader(sim->PtyPath());
  ChooseFile(RandomImage(2000));
  bool tried = false, visibleAfterClose = false;
  // The user's close box while the blocks are written (the GUI is serviced between blocks).
  QObject::connect(update->ProgressBar2(), &QProgressBar::valueChanged, [&](int v) {
    if (update->ProgressBar2()->maximum() == 8 && v == 3 && !tried) {
      tried = true;
      window.close();
      QTest::keyClick(&window, Qt::Key_Escape);
      visibleAfterClose = window.isVisible();
    }
  });
  ASSERT_TRUE(RunToEnd());
  EXPECT_TRUE(tried);
  EXPECT_TRUE(visibleAfterClose);
  EXPECT_EQ(Log().last(), "Started OK");
  EXPECT_TRUE(window.close()) << "closing works again once the update has ended";
}

}  // namespace
}  // namespace kelvora::test
