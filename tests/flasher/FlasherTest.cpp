// The bootloader client against the simulator's bootloader on a pseudo-terminal, and against the
// same bootloader on a scripted line whose answers are edited to model faulty devices.

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QProcess>
#include <QTimer>

#include <sys/resource.h>

#include <chrono>
#include <csignal>
#include <stdexcept>

#include "tests/flasher/FlasherSupport.h"
#include "tests/support/SimProcess.h"

namespace kelvora::test {
namespace {

using Progress = std::vector<std::pair<int32_t, int32_t>>;

const QString kDevice438 = "Device : STM32F303x4(6/8)/F334xx/F328xx ";
// The last line of an update that stopped, by the state it left the device in.
const QString kErased = "Update stopped: the flash is erased: run the update again";
const QString kWaiting = "Update stopped: nothing was erased; the supply waits in its bootloader: run the update again";
const QString kRestarted = "Update stopped: nothing was erased; the supply's firmware is intact and was restarted";
const QString kUnverified = "Update stopped: the image is written but not verified: run the update again";
const QString kFillers = "No answer: sending filler bytes in case the bootloader waits for the rest of a frame";
const QString kInStep = "Bootloader in step again";

QString PartlyWritten(int aWritten, int aBlocks) {
  return QString("Update stopped: the flash is erased and %1 of %2 blocks are written: run the update again")
      .arg(aWritten)
      .arg(aBlocks);
}

QStringList SuccessLines(const QString& name, int size, const QString& device = kDevice438) {
  return {"Activating device: OK", "File " + name, QString("File size is %1").arg(size),
          "Bootloader version : 3.1", device, "Erase complete OK", "Writting ...",
          "File is written OK", "Verification ...", "Verify OK", "Started OK"};
}

class FlasherOnSimulator : public ::testing::Test {
 protected:
  void Start(std::vector<std::string> extra = {}, bool jump = true) {
    std::vector<std::string> args{"--rtu", Path("pty"), "--flash-out", Path("flash.bin"), "--trace",
                                  Path("trace.jsonl")};
    args.insert(args.end(), extra.begin(), extra.end());
    sim_ = std::make_unique<SimProcess>(args);
    if (jump) JumpToBootloader(sim_->PtyPath());
    port_ = OpenBootPort(sim_->PtyPath());
    flasher_ = std::make_unique<TSTM32_Flasher>(port_.get());
    log_.Attach(*flasher_);
  }
  std::string Path(const char* name) const { return dir_.filePath(name).toStdString(); }
  QString File(const char* name) const { return dir_.filePath(name); }
  bool Flash(const QByteArray& image) {
    WriteImage(File("fw.bin"), image);
    return flasher_->FlashFile(File("fw.bin"), true);
  }
  QStringList Trace() const { return TraceLines(File("trace.jsonl")); }

  QTemporaryDir dir_;
  std::unique_ptr<SimProcess> sim_;
  std::unique_ptr<TKRCOMPort> port_;
  std::unique_ptr<TSTM32_Flasher> flasher_;
  FlasherLog log_;
};

class EraseKind : public FlasherOnSimulator, public ::testing::WithParamInterface<const char*> {};

TEST_P(EraseKind, WritesVerifiesAndStartsAnImageAtTheBootloaderBaudRate) {
  Start({"--boot-baud", "38400", "--erase", GetParam()});
  const QByteArray image = RandomImage(1000);
  ASSERT_TRUE(Flash(image)) << log_.Lines.join('\n').toStdString();

  EXPECT_EQ(log_.Lines, SuccessLines("fw.bin", 1000));
  EXPECT_EQ(log_.Progress, (Progress{{0, 4}, {1, 4}, {2, 4}, {3, 4}, {4, 4}, {0, 100},
                                     {1, 4}, {2, 4}, {3, 4}, {3, 4}, {4, 4}}));
  const QByteArray flash = ReadImage(File("flash.bin"));
  ASSERT_EQ(flash.size(), 65536);
  EXPECT_EQ(flash.left(1000), image);
  EXPECT_EQ(flash.mid(1000), QByteArray(65536 - 1000, '\xFF'));
  const QStringList trace = Trace();
  EXPECT_EQ(CountContaining(trace, std::string(GetParam()) == "ext" ? "erase-mass" : "erase-global"), 1);
  EXPECT_EQ(CountContaining(trace, "\"name\":\"write\""), 4);
  EXPECT_EQ(CountContaining(trace, "\"name\":\"go\""), 1);
  EXPECT_EQ(flasher_->ExtErase(), std::string(GetParam()) == "ext" ? 2u : 1u);
  EXPECT_EQ(flasher_->PID(), 0x438u);
}

INSTANTIATE_TEST_SUITE_P(Flasher, EraseKind, ::testing::Values("ext", "std"));

TEST_F(FlasherOnSimulator, ImageOf257BytesIsWrittenInTwoBlocksAndReadBackAs256And1) {
  Start();
  const QByteArray image = RandomImage(257, 7);
  ASSERT_TRUE(Flash(image)) << log_.Lines.join('\n').toStdString();
  EXPECT_EQ(log_.Lines, SuccessLines("fw.bin", 257));
  EXPECT_EQ(ReadImage(File("flash.bin")).left(257), image);
  const QStringList trace = Trace();
  EXPECT_EQ(CountContaining(trace, "\"name\":\"write\""), 2);
  EXPECT_EQ(CountContaining(trace, "\"name\":\"read\",\"ok\":true,\"addr\":\"0x08000000\",\"count\":256"), 1);
  EXPECT_EQ(CountContaining(trace, "\"name\":\"read\",\"ok\":true,\"addr\":\"0x08000100\",\"count\":1}"), 1);
  EXPECT_EQ(log_.Progress, (Progress{{0, 2}, {1, 2}, {2, 2}, {0, 100}, {1, 2}, {1, 2}, {2, 2}}));
}

TEST_F(FlasherOnSimulator, RefusedBlockEndsTheWriteWithoutReadBackOrStart) {
  Start({"--fault", "nack-block=2"});
  EXPECT_FALSE(Flash(RandomImage(1000)));
  QStringList expected = SuccessLines("fw.bin", 1000).mid(0, 7);
  expected << "NACK in Write" << "Error writing file " + File("fw.bin") << PartlyWritten(2, 4);
  EXPECT_EQ(log_.Lines, expected);
  EXPECT_EQ(log_.Progress, (Progress{{0, 4}, {1, 4}}));
  EXPECT_EQ(CountContaining(Trace(), "\"name\":\"read\""), 0);
  EXPECT_EQ(CountContaining(Trace(), "\"name\":\"go\""), 0);
}

TEST_F(FlasherOnSimulator, UnknownProductIdIsNamedUnknownAndTheUpdateGoesOn) {
  Start({"--boot-pid", "0x999"});
  ASSERT_TRUE(Flash(RandomImage(600)));
  EXPECT_EQ(log_.Lines, SuccessLines("fw.bin", 600, "Device : Unknowndevice "));
  EXPECT_EQ(flasher_->PID(), 0x999u);
  EXPECT_EQ(flasher_->FlashSize(), 65536u);
}

TEST_F(FlasherOnSimulator, EmptyOrOversizeImagesAreRefusedBeforeAnythingIsErased) {
  Start();
  EXPECT_FALSE(Flash(QByteArray()));
  EXPECT_EQ(log_.Lines.mid(log_.Lines.size() - 2),
            (QStringList{"File is empty: nothing is erased or written", kWaiting}));
  EXPECT_TRUE(log_.Lines.contains("File size is 0"));
  EXPECT_EQ(flasher_->Outcome(), TFlashOutcome::InBootloader);
  log_.Lines.clear();

  // The bootloader stays active after a refusal; the next attempt finds it so and goes on.
  flasher_ = std::make_unique<TSTM32_Flasher>(port_.get());
  log_.Attach(*flasher_);
  EXPECT_FALSE(Flash(RandomImage(65537)));
  EXPECT_EQ(log_.Lines.mid(0, 2), (QStringList{"Bootloader already active", "Activating device: OK"}));
  EXPECT_EQ(log_.Lines.mid(log_.Lines.size() - 2),
            (QStringList{"File is larger than the flash of 65536 bytes: nothing is erased or written", kWaiting}));
  EXPECT_EQ(CountContaining(Trace(), "erase"), 0);
  EXPECT_EQ(CountContaining(Trace(), "\"name\":\"go\""), 0) << "the flash may be erased from an earlier attempt";

  // Called right after the jump, the firmware the device left is known to be intact: it is
  // started again.
  flasher_ = std::make_unique<TSTM32_Flasher>(port_.get());
  flasher_->SetLeftIntactFirmware(true);
  log_.Lines.clear();
  log_.Attach(*flasher_);
  EXPECT_FALSE(Flash(RandomImage(65537)));
  EXPECT_EQ(log_.Lines.last(), kRestarted);
  EXPECT_EQ(flasher_->Outcome(), TFlashOutcome::FirmwareRestarted);
  EXPECT_EQ(CountContaining(Trace(), "\"name\":\"go\",\"ok\":true"), 1);
  EXPECT_EQ(CountContaining(Trace(), "erase"), 0);
  EXPECT_EQ(CountContaining(Trace(), "\"name\":\"write\""), 0);
  EXPECT_TRUE(log_.Progress.empty());
}

TEST_F(FlasherOnSimulator, UnreadableFileThrowsBeforeAnythingIsSent) {
  Start();
  EXPECT_THROW(flasher_->FlashFile(File("missing.bin"), true), std::runtime_error);
  EXPECT_EQ(log_.Lines, QStringList{"Update stopped: nothing was sent to the bootloader: nothing was erased"});
  EXPECT_EQ(CountContaining(Trace(), "activate"), 0);
}

double CpuSeconds() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
         static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

TEST_F(FlasherOnSimulator, SilentDeviceTimesOutWhileTimersAndPaintingGoOnWithoutBusyLoop) {
  Start({}, /*jump=*/false);  // the firmware, not the bootloader, is on the line
  WriteImage(File("fw.bin"), RandomImage(300));

  int ticks = 0;
  QTimer heartbeat;
  QObject::connect(&heartbeat, &QTimer::timeout, [&] { ++ticks; });
  heartbeat.start(20);

  const double cpu = CpuSeconds();
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(flasher_->FlashFile(File("fw.bin"), true));
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

  EXPECT_EQ(log_.Lines, (QStringList{"ACK response timeout!", kFillers, "No answer to the filler bytes either",
                                     "Activating device: FAILED !!!", "Received 0x00 in Activating device",
                                     "Update stopped: the bootloader did not answer: nothing was erased"}));
  EXPECT_EQ(flasher_->Outcome(), TFlashOutcome::NotReached);
  EXPECT_GE(wall, 2.5);
  EXPECT_LT(wall, 4.0);
  EXPECT_GT(ticks, 25) << "timers and painting go on during the wait";
  EXPECT_LT(CpuSeconds() - cpu, 0.3 * wall) << "the wait sleeps on the port";
}

TEST_F(FlasherOnSimulator, SupplyThatVanishesMidWriteTimesOutWithoutBusyLoop) {
  Start({"--boot-baud", "38400"});
  WriteImage(File("fw.bin"), RandomImage(5000));
  flasher_->SetOnProgress([this](void*, int32_t current, int32_t) {
    if (current == 2) sim_->Stop(SIGKILL);  // the cable is pulled
  });
  const double cpu = CpuSeconds();
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(flasher_->FlashFile(File("fw.bin"), true));
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
  EXPECT_EQ(log_.Lines.mid(7), (QStringList{"ACK response timeout!", "Received 0x00 in Sending write command",
                                            "Error writing file " + File("fw.bin"), kFillers,
                                            "No answer to the filler bytes either", PartlyWritten(3, 20)}));
  EXPECT_LT(CpuSeconds() - cpu, 0.3 * wall) << "a hung-up port must not turn the waits into a busy loop";
}

// --- The same bootloader with its answers edited -------------------------------------------

struct OnScriptedLine {
  explicit OnScriptedLine(ScriptedBootloader::Edit edit) : line(std::move(edit)) { Open(); }
  explicit OnScriptedLine(ScriptedBootloader::Reply reply) : line(std::move(reply)) { Open(); }
  void Open() {
    port = OpenBootPort(line.Path());
    NewFlasher();
  }
  // A fresh attempt on the same line.
  void NewFlasher() {
    flasher = std::make_unique<TSTM32_Flasher>(port.get());
    log = {};
    log.Attach(*flasher);
  }
  QString File() const { return dir.filePath("fw.bin"); }
  bool Flash(const QByteArray& image, bool verify = true) {
    WriteImage(File(), image);
    return flasher->FlashFile(File(), verify);
  }
  QTemporaryDir dir;
  ScriptedBootloader line;
  std::unique_ptr<TKRCOMPort> port;
  std::unique_ptr<TSTM32_Flasher> flasher;
  FlasherLog log;
};

bool IsGetAnswer(const Bytes& a) { return a.size() == 13 && a[0] == 0x79 && a[1] == 9; }

TEST(FlasherOnScriptedLine, ShortOrMissingGetAnswerIsLoggedAndNothingIsErased) {
  OnScriptedLine t([](Bytes a) {
    if (IsGetAnswer(a)) a.resize(7);  // ACK and six of the twelve bytes
    return a;
  });
  EXPECT_FALSE(t.Flash(RandomImage(300)));
  EXPECT_EQ(t.log.Lines, SuccessLines("fw.bin", 300).mid(0, 4)
                             << "Get Command: answer of 6 bytes, at least 8 expected" << kWaiting);
  EXPECT_EQ(t.flasher->BytesRead(), 6u);
  EXPECT_EQ(CountContaining(t.line.Trace(), "get-id"), 0);
  EXPECT_EQ(CountContaining(t.line.Trace(), "erase"), 0);

  OnScriptedLine ackOnly([](Bytes a) {
    if (IsGetAnswer(a)) a.resize(1);
    return a;
  });
  EXPECT_FALSE(ackOnly.Flash(RandomImage(300)));
  EXPECT_EQ(ackOnly.log.Lines, SuccessLines("fw.bin", 300).mid(0, 3)
                                   << "Get Command: no answer after the ACK" << kWaiting);
}

TEST(FlasherOnScriptedLine, GetAnswerWithoutAnEraseCommandStopsBeforeErasing) {
  OnScriptedLine t([](Bytes a) {
    if (IsGetAnswer(a)) a[9] = 0x73;
    return a;
  });
  EXPECT_FALSE(t.Flash(RandomImage(300)));
  EXPECT_EQ(t.log.Lines, SuccessLines("fw.bin", 300).mid(0, 5)
                             << "The bootloader offers no erase command: nothing is erased or written" << kWaiting);
  EXPECT_EQ(t.flasher->ExtErase(), 0u);
  EXPECT_EQ(CountContaining(t.line.Trace(), "erase"), 0);
  EXPECT_EQ(CountContaining(t.line.Trace(), "\"name\":\"write\""), 0);
}

TEST(FlasherOnScriptedLine, ReadBackThatDiffersIsAVerifyErrorAndTheImageIsNotStarted) {
  OnScriptedLine t([](Bytes a) {
    if (a.size() == 257) a[100] ^= 0x01;  // ACK and a whole block read back
    return a;
  });
  EXPECT_FALSE(t.Flash(RandomImage(600)));
  QStringList expected = SuccessLines("fw.bin", 600).mid(0, 9);
  expected << "Verify error !!!" << kUnverified;
  EXPECT_EQ(t.log.Lines, expected);
  EXPECT_EQ(CountContaining(t.line.Trace(), "\"name\":\"go\""), 0);
}

// Answers that come in two bursts with a pause between them (longer than the gaps of bytes on
// the line, and than a block's time on it) are still read whole and in step.
TEST(FlasherOnScriptedLine, AnswersThatArriveInBurstsAreReadWhole) {
  OnScriptedLine t(ScriptedBootloader::Edit{});
  t.line.GapMs = 250;
  const QByteArray image = RandomImage(600);
  EXPECT_TRUE(t.Flash(image)) << t.log.Lines.join('\n').toStdString();
  EXPECT_EQ(t.log.Lines, SuccessLines("fw.bin", 600));
}

TEST(FlasherOnScriptedLine, LostReadBackAsksToPowerCycleTheDevice) {
  OnScriptedLine t([](Bytes a) {
    if (a.size() == 257) a.resize(1);  // the block never comes
    return a;
  });
  EXPECT_FALSE(t.Flash(RandomImage(600)));
  QStringList expected = SuccessLines("fw.bin", 600).mid(0, 9);
  expected << "Read bytes error" << "Verification failed. Please turn the device off and on." << kFillers
           << kInStep << kUnverified;
  EXPECT_EQ(t.log.Lines, expected);
}

TEST(FlasherOnScriptedLine, StaleBytesAndLineNoiseDoNotPassForAnAcknowledge) {
  int answers = 0;
  OnScriptedLine t([&answers](Bytes a) {
    if (answers++ == 0) a.insert(a.begin(), {0x00, 0x55, 0x12});  // noise before the first ACK
    return a;
  });
  // A stale ACK on the line would otherwise be taken as the answer to the activation byte.
  t.line.SendNoise({0x79, 0x34, 0x79});
  for (int i = 0; i < 100 && t.port->InputCount() < 3; ++i) t.port->WaitForInput(10);
  ASSERT_EQ(t.port->InputCount(), 3);
  ASSERT_TRUE(t.Flash(RandomImage(300))) << t.log.Lines.join('\n').toStdString();
  EXPECT_EQ(t.log.Lines, SuccessLines("fw.bin", 300));
}

// --- A cable pulled in the middle of a frame --------------------------------------------------

// On the line before the first block: activation, Get, Get ID, the erase and its argument; each
// block is then a command, an address and a data frame of 258 bytes.
constexpr size_t kBytesBeforeBlocks = 10, kBytesPerBlock = 265, kDataOffset = 7;

TEST(FlasherCutMidFrame, TheBootloaderIsBroughtBackInStepAndTheNextAttemptSucceedsAtOnce) {
  OnScriptedLine t(ScriptedBootloader::Edit{});
  // The second half of block 2's data frame is lost: the bootloader waits for 129 more bytes.
  t.line.Lose(kBytesBeforeBlocks + 2 * kBytesPerBlock + kDataOffset + 129, 129);
  const QByteArray image = RandomImage(1000, 11);
  EXPECT_FALSE(t.Flash(image));
  QStringList expected = SuccessLines("fw.bin", 1000).mid(0, 7);
  expected << "ACK response timeout!" << "Received 0x00 in Write" << "Error writing file " + t.File() << kFillers
           << kInStep << PartlyWritten(2, 4);
  EXPECT_EQ(t.log.Lines, expected);
  EXPECT_EQ(t.flasher->Outcome(), TFlashOutcome::FlashErased);

  t.NewFlasher();
  ASSERT_TRUE(t.Flash(image)) << t.log.Lines.join('\n').toStdString();
  EXPECT_EQ(t.log.Lines, QStringList{"Bootloader already active"} << SuccessLines("fw.bin", 1000));
  EXPECT_EQ(t.line.FlashImage().left(1000), image);
}

// An earlier run that stopped dead in a data frame: the activation, Write Memory and its
// address, each acknowledged, then 100 of the frame's 258 bytes.
void LeaveInTheMiddleOfAFrame(TKRCOMPort& aPort) {
  const std::vector<uint8_t> start{0x7F, 0x31, 0xCE, 0x08, 0x00, 0x00, 0x00, 0x08};
  for (const auto& [from, count] : {std::pair{0, 1}, {1, 2}, {3, 5}}) {
    aPort.Write(start.data() + from, count);
    for (int i = 0; i < 200 && aPort.InputCount() == 0; ++i) aPort.WaitForInput(10);
    uint8_t ack = 0;
    ASSERT_EQ(aPort.Read(&ack, 1), 1);
    ASSERT_EQ(ack, 0x79);
  }
  QByteArray part = RandomImage(100, 4);
  part[0] = '\xFF';  // 256 bytes to come
  aPort.Write(reinterpret_cast<const uint8_t*>(part.constData()), 100);
}


TEST(FlasherCutMidFrame, ABootloaderLeftInTheMiddleOfAFrameByAnEarlierRunIsActivatedThroughIt) {
  OnScriptedLine t(ScriptedBootloader::Edit{});
  ASSERT_NO_FATAL_FAILURE(LeaveInTheMiddleOfAFrame(*t.port));

  const QByteArray image = RandomImage(700, 12);
  ASSERT_TRUE(t.Flash(image)) << t.log.Lines.join('\n').toStdString();
  EXPECT_EQ(t.log.Lines, QStringList({"ACK response timeout!", kFillers, kInStep}) << SuccessLines("fw.bin", 700));
  EXPECT_EQ(t.line.FlashImage().left(700), image);
}

// --- The state an update leaves the supply in, at each step where it can stop ---------------

struct StopCase {
  const char* Stage;
  std::vector<uint8_t> LostAnswerTo;  // the request whose answer does not come back
  int LostDataFrame;                  // or the data frame of this block, -1: none
  bool Verify;
  bool IntactFirmware;
  QString Last;
  const char* InTrace;  // what the bootloader did, seen in its trace
};

// Each case waits for one lost answer; the cases of the erase wait 10 s for it.
void ExpectStopStates(const std::vector<StopCase>& cases) {
  for (const StopCase& c : cases) {
    SCOPED_TRACE(c.Stage);
    int dataFrames = 0;
    OnScriptedLine t(ScriptedBootloader::Reply([&](Bytes answer, const Bytes& request) {
      if (request.size() == 258 && dataFrames++ == c.LostDataFrame) return Bytes{};
      return request == c.LostAnswerTo ? Bytes{} : answer;
    }));
    t.flasher->SetLeftIntactFirmware(c.IntactFirmware);
    EXPECT_FALSE(t.Flash(RandomImage(600), c.Verify));
    ASSERT_GE(t.log.Lines.size(), 3);
    EXPECT_TRUE(t.log.Lines.contains("ACK response timeout!"));
    EXPECT_EQ(t.log.Lines.mid(t.log.Lines.size() - 3), (QStringList{kFillers, kInStep, c.Last}))
        << t.log.Lines.join('\n').toStdString();
    EXPECT_EQ(CountContaining(t.line.Trace(), c.InTrace), 1);
  }
}

const std::vector<uint8_t> kEraseCommand{0x44, 0xBB}, kEraseArgument{0xFF, 0xFF, 0x00}, kGo{0x21, 0xDE};

TEST(FlasherStopStates, AnUnansweredEraseSaysWhetherTheFlashMayBeErased) {
  ExpectStopStates({
      {"erase command unanswered", kEraseCommand, -1, true, false, kWaiting, "\"name\":\"erase-mass\",\"ok\":false"},
      {"erase command unanswered, left firmware", kEraseCommand, -1, true, true, kRestarted,
       "\"name\":\"go\",\"ok\":true"},
      {"erase unconfirmed", kEraseArgument, -1, true, false,
       "Update stopped: the erase was not confirmed, so the flash may be erased: run the update again",
       "\"name\":\"erase-mass\",\"ok\":true"},
  });
}

TEST(FlasherStopStates, AnUnansweredBlockOrStartSaysHowMuchOfTheImageIsIn) {
  ExpectStopStates({
      {"block 2 unconfirmed", {}, 2, true, true, PartlyWritten(2, 3), "\"addr\":\"0x08000200\",\"count\":256"},
      {"start lost after the verify", kGo, -1, true, true,
       "Update stopped: the image is written and verified; the supply did not restart: power-cycle it",
       "\"name\":\"read\",\"ok\":true,\"addr\":\"0x08000200\""},
      {"start lost without a verify", kGo, -1, false, true,
       "Update stopped: the image is written (not verified); the supply did not restart: power-cycle it",
       "\"name\":\"write\",\"ok\":true,\"addr\":\"0x08000200\""},
  });
}

// --- The image file fails while it is written ---------------------------------------------

TEST(FlasherImageRead, AnImageCutShortWhileWrittenStopsTheUpdateBeforeTheStart) {
  OnScriptedLine t(ScriptedBootloader::Edit{});
  WriteImage(t.File(), RandomImage(1000));
  // The file shrinks once the first block is written, as a file on a pulled stick.
  t.flasher->SetOnProgress([&](void*, int32_t current, int32_t) {
    if (current == 0) QFile::resize(t.File(), 300);
  });
  EXPECT_FALSE(t.flasher->FlashFile(t.File(), /*Verify=*/false));
  EXPECT_EQ(t.log.Lines.mid(7), (QStringList{"Cannot read the image file: 300 of 1000 bytes read",
                                             "Error writing file " + t.File(), PartlyWritten(1, 4)}));
  const QStringList trace = t.line.Trace();
  EXPECT_EQ(CountContaining(trace, "\"name\":\"write\""), 1);
  EXPECT_EQ(CountContaining(trace, "\"name\":\"go\""), 0) << "padding must not be started";
}

// --- The user stops the update ----------------------------------------------------------

TEST(FlasherStopRequest, AStopEndsTheUpdateBetweenBlocksAndBeforeTheEraseRestartsTheFirmware) {
  OnScriptedLine t(ScriptedBootloader::Edit{});
  t.flasher->SetStopRequest([&] { return t.log.Progress.size() >= 2; });
  EXPECT_FALSE(t.Flash(RandomImage(1000)));
  EXPECT_EQ(t.log.Lines.mid(7), (QStringList{"Stop requested: the update ends here", PartlyWritten(2, 4)}));
  EXPECT_EQ(CountContaining(t.line.Trace(), "\"name\":\"write\""), 2);

  t.NewFlasher();
  t.flasher->SetLeftIntactFirmware(true);
  t.flasher->SetStopRequest([] { return true; });
  EXPECT_FALSE(t.Flash(RandomImage(1000)));
  EXPECT_EQ(t.log.Lines.mid(t.log.Lines.size() - 2), (QStringList{"Stop requested: the update ends here", kRestarted}));
  EXPECT_EQ(CountContaining(t.line.Trace(), "erase"), 1) << "only the first attempt's";
  EXPECT_EQ(CountContaining(t.line.Trace(), "\"name\":\"go\",\"ok\":true"), 1);
}

// --- The resync against a bootloader client nobody here wrote ------------------------------

TEST_F(FlasherOnSimulator, AfterTheResyncStm32flashFindsTheBootloaderInStepAndWritesAnImage) {
  Start({"--boot-baud", "38400"});
  ASSERT_NO_FATAL_FAILURE(LeaveInTheMiddleOfAFrame(*port_));

  // Our client brings it back in step, and stops before the erase: the image does not fit.
  EXPECT_FALSE(Flash(RandomImage(70000)));
  EXPECT_EQ(log_.Lines.mid(0, 4), (QStringList{"ACK response timeout!", kFillers, kInStep, "Activating device: OK"}));
  EXPECT_EQ(log_.Lines.last(), kWaiting);
  flasher_.reset();
  port_.reset();

  const QByteArray image = RandomImage(3000, 5);
  WriteImage(File("other.bin"), image);
  QProcess tool;
  tool.setProcessChannelMode(QProcess::MergedChannels);
  tool.start("stm32flash", {"-m", "8n1", "-b", "38400", "-w", File("other.bin"), "-v",
                            QString::fromStdString(sim_->PtyPath())});
  ASSERT_TRUE(tool.waitForFinished(30000));
  const QString output = QString::fromLocal8Bit(tool.readAll());
  EXPECT_EQ(tool.exitCode(), 0) << output.toStdString();
  EXPECT_EQ(ReadImage(File("flash.bin")).left(3000), image) << output.toStdString();
}

}  // namespace
}  // namespace kelvora::test
