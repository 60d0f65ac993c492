// kelvora-cli as a script runs it: the real binary against the simulator, checked by its output,
// its exit status and the simulator's request trace.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QThread>

#include "tests/cli/CliRunner.h"

#include <grp.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

namespace kelvora::test {
namespace {

QStringList ErrLines(const CliRun& aRun) { return aRun.Err.split('\n', Qt::SkipEmptyParts); }

// An image of random bytes in a file of its own.
QString ImageFile(const QTemporaryDir& aDir, const char* aName, int aSize) {
  QByteArray image(aSize, '\0');
  for (char& b : image) b = static_cast<char>(QRandomGenerator::global()->bounded(256));
  QFile f(aDir.filePath(aName));
  if (f.open(QIODevice::WriteOnly)) f.write(image);
  return f.fileName();
}

QByteArray FileBytes(const QString& aPath, qsizetype aSize) {
  QFile f(aPath);
  return f.open(QIODevice::ReadOnly) ? f.read(aSize) : QByteArray();
}

size_t JumpsIn(SimTrace& aTrace) {
  return aTrace.Requests([](const TraceEntry& e) { return IsWrite(e, 32, 9148); }).size();
}

std::vector<int> LastAnswer(const SimTrace& aTrace, int aAddr, int aCount) {
  std::vector<int> values;
  for (const TraceEntry& e : aTrace.Entries())
    if (e.Dir == "ans" && e.Fc == 3 && e.Addr == aAddr && e.Count == aCount) values = e.Values;
  return values;
}

std::vector<TraceEntry> Writes(const SimTrace& aTrace) {
  return aTrace.Requests([](const TraceEntry& e) { return e.Fc == 6 || e.Fc == 16; });
}

QStringList FileLines(const QString& aPath) {
  QFile f(aPath);
  if (!f.open(QIODevice::ReadOnly)) return {};
  return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
}

class CliOverLink : public ::testing::TestWithParam<bool> {
 protected:
  bool Tcp() const { return GetParam(); }
  CliRun Cli(SimLink& aSim, const QStringList& aArgs, int aTimeoutMs = 30000) {
    return RunCli(aSim.Link(Tcp()) + aArgs, aTimeoutMs);
  }
};

INSTANTIATE_TEST_SUITE_P(PtyAndTcp, CliOverLink, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Tcp" : "Pty"; });

TEST_P(CliOverLink, StatusShowsTheRegistersInTheModelsScaling) {
  struct Case {
    const char* Model;
    double Divider;  // current units per ampere / 100
    int Decimals;
    QString SetLine;
  };
  for (const Case& c : {Case{"3005", 10, 3, "Set          12.00 V  0.500 A"},
                        Case{"5015", 1, 2, "Set          12.00 V  0.50 A"}}) {
    SCOPED_TRACE(c.Model);
    SimLink sim({"--model", c.Model});
    ASSERT_EQ(Cli(sim, {"set", "--voltage", "12", "--current", "0.5"}).Exit, 0);
    ASSERT_EQ(Cli(sim, {"output", "on"}).Exit, 0);

    const CliRun json = Cli(sim, {"--json", "status"});
    ASSERT_EQ(json.Exit, 0) << json.Err.toStdString();
    const QJsonObject o = QJsonDocument::fromJson(json.Out.toUtf8()).object();
    const std::vector<int> r = LastAnswer(sim.Trace(), 0, 15);
    ASSERT_EQ(r.size(), 15u);
    const double perAmp = 100 * c.Divider;
    EXPECT_EQ(o["model"].toInt(), r[11]);
    EXPECT_EQ(o["current_decimals"].toInt(), c.Decimals);
    EXPECT_DOUBLE_EQ(o["set_voltage"].toDouble(), r[0] / 100.0);
    EXPECT_DOUBLE_EQ(o["set_current"].toDouble(), r[1] / perAmp);
    EXPECT_DOUBLE_EQ(o["set_current"].toDouble(), 0.5);
    EXPECT_DOUBLE_EQ(o["voltage"].toDouble(), r[2] / 100.0);
    EXPECT_DOUBLE_EQ(o["current"].toDouble(), r[3] / perAmp);
    EXPECT_GT(o["current"].toDouble(), 0.0);
    EXPECT_NEAR(o["power"].toDouble(), r[2] / 100.0 * (r[3] / perAmp), 0.0051);
    EXPECT_DOUBLE_EQ(o["input_voltage"].toDouble(), r[5] / 100.0);
    EXPECT_EQ(o["key_lock"].toBool(), r[6] != 0);
    EXPECT_EQ(o["protection"].toString(), "none");
    EXPECT_EQ(o["mode"].toString(), r[8] ? "CC" : "CV");
    EXPECT_TRUE(o["output"].toBool());
    EXPECT_EQ(o["firmware_class"].toString(), "ver_43");
    const std::vector<int> counters = LastAnswer(sim.Trace(), 33, 7);
    ASSERT_EQ(counters.size(), 7u);
    EXPECT_EQ(o["counters"].toObject()["time_s"].toInteger(), counters[0] + (counters[1] << 16));
    if (QString(c.Model) == "5015") {
      EXPECT_EQ(o["temperature_c"].toInt(), r[13]);
    }

    const CliRun text = Cli(sim, {"status"});
    ASSERT_EQ(text.Exit, 0);
    EXPECT_TRUE(text.OutLines().contains(c.SetLine)) << text.Out.toStdString();
    EXPECT_TRUE(text.Out.startsWith(QString("Model        KPX%1 ver. 4.3 (ver_43)").arg(c.Model)))
        << text.Out.toStdString();
  }
}

TEST_P(CliOverLink, SetOutputLockAndPresetAreTheProgramsWrites) {
  SimLink sim({"--model", "3005"});
  ASSERT_EQ(Cli(sim, {"set", "--voltage", "12.34", "--current", "0.5"}).Exit, 0);
  // Only the current asked for: the voltage goes back as it was.
  ASSERT_EQ(Cli(sim, {"set", "--current", "1.25"}).Exit, 0);
  ASSERT_EQ(Cli(sim, {"output", "on"}).Exit, 0);
  ASSERT_EQ(Cli(sim, {"output", "off"}).Exit, 0);
  ASSERT_EQ(Cli(sim, {"lock", "on"}).Exit, 0);
  ASSERT_EQ(Cli(sim, {"preset", "12"}).Exit, 0);

  const std::vector<TraceEntry> w = Writes(sim.Trace());
  ASSERT_EQ(w.size(), 6u);
  EXPECT_TRUE(w[0].Fc == 16 && w[0].Addr == 0 && w[0].Values == (std::vector<int>{1234, 500}));
  EXPECT_TRUE(w[1].Fc == 16 && w[1].Addr == 0 && w[1].Values == (std::vector<int>{1234, 1250}));
  EXPECT_TRUE(IsWrite(w[2], 9, 1));
  EXPECT_TRUE(IsWrite(w[3], 9, 0));
  EXPECT_TRUE(IsWrite(w[4], 6, 1));
  EXPECT_TRUE(IsWrite(w[5], 35, 12));
}

TEST_P(CliOverLink, SetPointsAboveTheModelsLimitsAreRefusedAndNothingIsWritten) {
  SimLink sim({"--model", "3005"});  // 31.00 V, 5.100 A
  const CliRun high = Cli(sim, {"set", "--voltage", "31.01"});
  EXPECT_EQ(high.Exit, 2);
  EXPECT_TRUE(high.Err.contains("31.00 V")) << high.Err.toStdString();
  // A good voltage with a current beyond the limit: neither is written.
  const CliRun both = Cli(sim, {"set", "--voltage", "10", "--current", "5.101"});
  EXPECT_EQ(both.Exit, 2);
  EXPECT_TRUE(both.Err.contains("5.100 A")) << both.Err.toStdString();
  EXPECT_TRUE(Writes(sim.Trace()).empty());

  EXPECT_EQ(Cli(sim, {"set", "--voltage", "31", "--current", "5.1"}).Exit, 0);
  ASSERT_EQ(Writes(sim.Trace()).size(), 1u);
  EXPECT_EQ(Writes(sim.Trace())[0].Values, (std::vector<int>{3100, 5100}));
}

TEST_P(CliOverLink, RawRegistersRoundTrip) {
  SimLink sim;
  ASSERT_EQ(Cli(sim, {"write", "80", "1234", "0x10", "7"}).Exit, 0);
  ASSERT_EQ(Cli(sim, {"write", "83", "55"}).Exit, 0);
  const CliRun text = Cli(sim, {"read", "80", "4"});
  ASSERT_EQ(text.Exit, 0);
  EXPECT_EQ(text.OutLines(), (QStringList{"80: 1234", "81: 16", "82: 7", "83: 55"}));
  const CliRun json = Cli(sim, {"--json", "read", "0x50", "2"});
  EXPECT_EQ(json.Out.trimmed(), "{\"address\":80,\"values\":[1234,16]}");

  const std::vector<TraceEntry> w = Writes(sim.Trace());
  ASSERT_EQ(w.size(), 2u);
  EXPECT_EQ(w[0].Fc, 16);
  EXPECT_TRUE(IsWrite(w[1], 83, 55));
}

TEST_P(CliOverLink, ExitStatusTellsNoAnswerAndExceptionAnswerFromUsageErrors) {
  // Every answer dropped: the connector's time-out, not the device exception of the same code.
  SimLink quiet({"--fault", "drop-every=1"});
  const CliRun silent = Cli(quiet, {"read", "0", "1"});
  EXPECT_EQ(silent.Exit, 1);
  const QString where = quiet.Link(Tcp())[1];
  EXPECT_EQ(silent.Err.trimmed(), QString("kelvora-cli: read: no answer from slave 1 on %1 within %2 ms "
                                          "(connector code 6)")
                                      .arg(where)
                                      .arg(Tcp() ? 500 : 1000));
  // The read went out three times; a raw write goes out once, whatever it writes.
  EXPECT_EQ(quiet.Trace().Requests([](const TraceEntry& e) { return e.Fc == 3; }).size(), 3u);
  EXPECT_EQ(Cli(quiet, {"write", "80", "5"}).Exit, 1);
  EXPECT_EQ(Writes(quiet.Trace()).size(), 1u);

  SimLink sim;
  const CliRun exception = Cli(sim, {"read", "600", "2"});
  EXPECT_EQ(exception.Exit, 1);
  EXPECT_EQ(exception.Err.trimmed(),
            "kelvora-cli: read: slave 1 refused the request: illegal data address (exception 2)");
  EXPECT_EQ(sim.Trace().Requests([](const TraceEntry& e) { return e.Fc == 3; }).size(), 1u)
      << "a refusal is an answer: it is not asked for again";

  for (const QStringList& bad :
       {QStringList{"frobnicate"}, QStringList{"output", "maybe"}, QStringList{"read", "0", "126"},
        QStringList{"set"}, QStringList{"status", "--csv", "x.csv"}}) {
    const CliRun usage = Cli(sim, bad);
    EXPECT_EQ(usage.Exit, 2) << bad.join(' ').toStdString();
    EXPECT_TRUE(usage.Out.isEmpty());
    EXPECT_EQ(ErrLines(usage).size(), 1) << usage.Err.toStdString();
  }
  EXPECT_TRUE(Writes(sim.Trace()).empty());
}

TEST_P(CliOverLink, WatchAppendsAHeaderOnceAndOneFlushedLinePerReading) {
  SimLink sim({"--model", "5015"});
  const QString csv = sim.Dir("log.csv");
  const CliRun first = Cli(sim, {"watch", "--interval", "50", "--count", "5", "--csv", csv});
  ASSERT_EQ(first.Exit, 0) << first.Err.toStdString();
  EXPECT_EQ(first.OutLines().size(), 5);
  QStringList lines = FileLines(csv);
  ASSERT_EQ(lines.size(), 6);
  EXPECT_EQ(lines[0],
            "time,set_voltage_V,set_current_A,voltage_V,current_A,power_W,mode,output,protection,"
            "input_voltage_V,event");
  for (const QString& line : lines.mid(1)) {
    const QStringList f = line.split(',');
    ASSERT_EQ(f.size(), 11) << line.toStdString();
    EXPECT_TRUE(QDateTime::fromString(f[0], Qt::ISODateWithMs).isValid()) << line.toStdString();
    EXPECT_EQ(f[1], "5.00");
    EXPECT_EQ(f[2], "1.00");  // two decimals: 10 mA units
  }
  // A row cut off by a crash is ended before the next one is written.
  {
    QFile f(csv);
    ASSERT_TRUE(f.open(QIODevice::Append));
    f.write("2026-12-09T10:00:00.000+00:00,5.0");
  }
  ASSERT_EQ(Cli(sim, {"watch", "--interval", "50", "--count", "2", "--csv", csv}).Exit, 0);
  lines = FileLines(csv);
  EXPECT_EQ(lines.size(), 9);
  EXPECT_EQ(lines.filter("time,").size(), 1);
  EXPECT_EQ(lines[6], "2026-12-09T10:00:00.000+00:00,5.0");
  EXPECT_EQ(lines[7].split(',').size(), 11) << lines[7].toStdString();

  // Another log's file is not continued.
  const QString other = sim.Dir("other.csv");
  {
    QFile f(other);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write("time,value\n1,2\n");
  }
  const CliRun refused = Cli(sim, {"watch", "--count", "1", "--csv", other});
  EXPECT_EQ(refused.Exit, 2);
  EXPECT_EQ(ErrLines(refused),
            QStringList{"kelvora-cli: " + other + ": its first line is not the header of this log; give a new file"});
  EXPECT_EQ(FileLines(other), (QStringList{"time,value", "1,2"}));
}

TEST_P(CliOverLink, LostAndGarbledAnswersAreRiddenOutByRetries) {
  // One answer in twenty lost, for 20 s: no gap is reported and every reading is there.
  {
    SimLink sim({"--fault", "drop-every=20"});
    const QString csv = sim.Dir("lossy.csv");
    const CliRun run = Cli(sim, {"watch", "--interval", "250", "--count", "80", "--csv", csv}, 60000);
    ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_FALSE(run.Err.contains("connection lost")) << run.Err.toStdString();
    EXPECT_EQ(run.OutLines().size(), 80);
    const QStringList lines = FileLines(csv);
    EXPECT_EQ(lines.size(), 81);
    EXPECT_TRUE(lines.filter("connection").isEmpty()) << lines.join('\n').toStdString();
    EXPECT_GE(FileLines(sim.Dir("trace.jsonl")).filter("\"dropped\":true").size(), 4)
        << "the fault was not met often enough to tell";
  }
  // Every third answer damaged: readings still come.
  {
    SimLink sim({"--fault", "corrupt-every=3"});
    const CliRun run = Cli(sim, {"watch", "--interval", "100", "--count", "10"});
    EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
    EXPECT_EQ(run.OutLines().size(), 10);
    EXPECT_FALSE(run.Err.contains("connection lost")) << run.Err.toStdString();
  }
  // Every other answer lost: status and the idempotent writes succeed; without retries status
  // fails at the first lost answer.
  SimLink sim({"--fault", "drop-every=2", "--model", "3005"});
  EXPECT_EQ(Cli(sim, {"status"}).Exit, 0);
  EXPECT_EQ(Cli(sim, {"set", "--voltage", "7.5"}).Exit, 0);
  EXPECT_EQ(Cli(sim, {"output", "on"}).Exit, 0);
  EXPECT_EQ(Cli(sim, {"lock", "on"}).Exit, 0);
  EXPECT_EQ(Cli(sim, {"preset", "3"}).Exit, 0);
  EXPECT_EQ(Cli(sim, {"--retries", "0", "status"}).Exit, 1);
  const std::vector<int> r = LastAnswer(sim.Trace(), 0, 15);
  ASSERT_EQ(r.size(), 15u);
  EXPECT_EQ(r[9], 1) << "output on";
  EXPECT_EQ(r[6], 1) << "keys locked";
}

TEST_P(CliOverLink, WatchMarksTheGapOfAVanishedSupplyAndGoesOn) {
  SimLink sim({"--fault", "vanish@1500-3000"});
  const QString csv = sim.Dir("gap.csv");
  const CliRun run = Cli(sim, {"watch", "--interval", "100", "--count", "25", "--csv", csv});
  ASSERT_EQ(run.Exit, 0) << run.Err.toStdString();
  EXPECT_TRUE(run.Err.contains("connection lost")) << run.Err.toStdString();
  EXPECT_TRUE(run.Err.contains("connection resumed")) << run.Err.toStdString();

  const QStringList lines = FileLines(csv);
  int lost = -1, resumed = -1, readings = 0, before = 0;
  for (int i = 1; i < lines.size(); ++i) {
    if (lines[i].contains(",connection lost: "))
      lost = i;
    else if (lines[i].endsWith(",connection resumed"))
      resumed = i;
    else {
      ++readings;
      if (lost < 0) ++before;
    }
  }
  ASSERT_GT(lost, 0) << lines.join('\n').toStdString();
  EXPECT_GT(resumed, lost);
  EXPECT_EQ(readings, 25);
  EXPECT_GT(before, 0);
  EXPECT_LT(before, 25);
}

TEST(CliFlash, WritesTheImageTheSimulatorKeeps) {
  QTemporaryDir dir;
  SimLink sim({"--flash-out", dir.filePath("flash.bin").toStdString()});
  QByteArray image(2500, '\0');
  for (char& b : image) b = static_cast<char>(QRandomGenerator::global()->bounded(256));
  QFile f(dir.filePath("fw.bin"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(image);
  f.close();

  const CliRun run = RunCli(sim.Link(false) + QStringList{"flash", f.fileName()}, 60000);
  ASSERT_EQ(run.Exit, 0) << run.Out.toStdString() << run.Err.toStdString();
  EXPECT_TRUE(run.OutLines().contains("Verify OK")) << run.Out.toStdString();
  EXPECT_EQ(run.OutLines().last(), "Started OK");
  QFile flash(dir.filePath("flash.bin"));
  ASSERT_TRUE(flash.open(QIODevice::ReadOnly));
  EXPECT_EQ(flash.readAll().left(image.size()), image);
  const auto jumps = sim.Trace().Requests([](const TraceEntry& e) { return IsWrite(e, 32, 9148); });
  EXPECT_EQ(jumps.size(), 1u);

  // A missing image is refused before the supply is asked to leave its firmware.
  const CliRun missing = RunCli(sim.Link(false) + QStringList{"flash", dir.filePath("none.bin")});
  EXPECT_EQ(missing.Exit, 2);
  EXPECT_EQ(sim.Trace().Requests([](const TraceEntry& e) { return IsWrite(e, 32, 9148); }).size(),
            1u);
}

TEST(CliFlash, OldFirmwareIsNotAskedToJump) {
  QTemporaryDir dir;
  SimLink sim({"--firmware", "36"});
  QFile f(dir.filePath("fw.bin"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(QByteArray(256, 'x'));
  f.close();
  const CliRun run = RunCli(sim.Link(false) + QStringList{"flash", f.fileName()});
  EXPECT_EQ(run.Exit, 1);
  EXPECT_TRUE(run.Err.contains("ver_36")) << run.Err.toStdString();
  EXPECT_TRUE(Writes(sim.Trace()).empty());
}

TEST(CliFlash, ASupplyAlreadyInItsBootloaderIsFlashedWithoutTheJump) {
  QTemporaryDir dir;
  SimLink sim({"--flash-out", dir.filePath("flash.bin").toStdString()});
  // A jump written by hand gets no answer: the supply has left its firmware.
  EXPECT_EQ(RunCli(sim.Link(false) + QStringList{"write", "32", "9148"}).Exit, 1);
  const QByteArray image(1000, '\x5a');
  QFile f(dir.filePath("fw.bin"));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(image);
  f.close();

  const CliRun run = RunCli(sim.Link(false) + QStringList{"flash", f.fileName()}, 60000);
  ASSERT_EQ(run.Exit, 0) << run.Out.toStdString() << run.Err.toStdString();
  EXPECT_TRUE(run.OutLines().first().startsWith("No valid Modbus answer")) << run.Out.toStdString();
  QFile flash(dir.filePath("flash.bin"));
  ASSERT_TRUE(flash.open(QIODevice::ReadOnly));
  EXPECT_EQ(flash.readAll().left(image.size()), image);
  EXPECT_EQ(Writes(sim.Trace()).size(), 1u) << "only the jump written by hand";
}

TEST(CliFlash, ASupplyLeftInItsBootloaderByAFailedUpdateIsFlashedAgain) {
  QTemporaryDir dir;
  // The bootloader refuses block 2 the first time only, as after a glitch on the line.
  SimLink sim({"--flash-out", dir.filePath("flash.bin").toStdString(), "--fault", "nack-once=2"});
  const QString image = ImageFile(dir, "fw.bin", 3000);

  const CliRun failed = RunCli(sim.Link(false) + QStringList{"flash", image}, 60000);
  EXPECT_EQ(failed.Exit, 1);
  EXPECT_TRUE(failed.OutLines().contains("NACK in Write")) << failed.Out.toStdString();
  EXPECT_EQ(failed.OutLines().last(),
            "Update stopped: the flash is erased and 2 of 12 blocks are written: run the update again");
  EXPECT_EQ(ErrLines(failed), QStringList{"kelvora-cli: the update did not complete: the flash is erased and 2 "
                                          "of 12 blocks are written: run the update again"});

  // The active bootloader answers the identification with NACK bytes: it is flashed directly.
  const CliRun again = RunCli(sim.Link(false) + QStringList{"flash", image}, 60000);
  ASSERT_EQ(again.Exit, 0) << again.Out.toStdString() << again.Err.toStdString();
  EXPECT_TRUE(again.OutLines().first().startsWith("No valid Modbus answer (a garbled answer"))
      << again.Out.toStdString();
  EXPECT_EQ(again.OutLines().last(), "Started OK");
  EXPECT_EQ(FileBytes(dir.filePath("flash.bin"), 3000), FileBytes(image, 3000));
  EXPECT_EQ(JumpsIn(sim.Trace()), 1u);
  EXPECT_EQ(RunCli(sim.Link(false) + QStringList{"status"}).Exit, 0) << "the new firmware answers";
}

TEST(CliFlash, BadImagesAreRefusedBeforeTheJumpAndARefusalInTheBootloaderRestartsTheFirmware) {
  QTemporaryDir dir;
  SimLink sim;
  for (const QString& bad : {ImageFile(dir, "empty.bin", 0), ImageFile(dir, "huge.bin", 300000),
                             QString("/dev/zero"), dir.filePath("missing.bin"), dir.path()}) {
    const CliRun run = RunCli(sim.Link(false) + QStringList{"flash", bad});
    EXPECT_EQ(run.Exit, 2) << bad.toStdString();
    ASSERT_EQ(ErrLines(run).size(), 1) << run.Err.toStdString();
    EXPECT_TRUE(run.Err.contains(bad) && run.Err.contains(": nothing was sent to the supply"))
        << run.Err.toStdString();
  }
  EXPECT_TRUE(sim.Trace().Entries().empty()) << "the supply was not even asked who it is";

  // Larger than the controller's flash, which only the bootloader tells: refused before the
  // erase, and the firmware is started again.
  const CliRun run = RunCli(sim.Link(false) + QStringList{"flash", ImageFile(dir, "fw.bin", 70000)}, 60000);
  EXPECT_EQ(run.Exit, 1);
  EXPECT_EQ(run.OutLines().last(), "Update stopped: nothing was erased; the supply's firmware is intact and was restarted");
  EXPECT_EQ(ErrLines(run), QStringList{"kelvora-cli: the update did not complete: nothing was erased; the "
                                       "supply's firmware is intact and was restarted"});
  EXPECT_EQ(JumpsIn(sim.Trace()), 1u);
  EXPECT_EQ(RunCli(sim.Link(false) + QStringList{"status"}).Exit, 0) << "the firmware answers again";
}

// "Update stopped: the flash is erased and N of 64 blocks are written: run the update again", N
// as the test cannot time it exactly.
bool PartlyWritten(const QString& aLine, int aBlocks) {
  static const QRegularExpression kText(
      "^(kelvora-cli: the update did not complete|Update stopped): the flash is erased and (\\d+) of (\\d+) "
      "blocks are written: run the update again$");
  const QRegularExpressionMatch m = kText.match(aLine);
  return m.hasMatch() && m.captured(2).toInt() > 0 && m.captured(2).toInt() < aBlocks &&
         m.captured(3).toInt() == aBlocks;
}

TEST(CliFlash, ASupplyThatAnswersNeitherAsFirmwareNorAsBootloaderIsNotSaidToBeUnchanged) {
  QTemporaryDir dir;
  SimLink sim({"--fault", "drop-every=1"});
  const CliRun run = RunCli(sim.Link(false) + QStringList{"flash", ImageFile(dir, "fw.bin", 1000)}, 60000);
  EXPECT_EQ(run.Exit, 1);
  EXPECT_EQ(run.OutLines().last(), "Update stopped: the bootloader did not answer: nothing was erased");
  EXPECT_EQ(ErrLines(run), QStringList{"kelvora-cli: neither the supply's firmware nor its bootloader answered on " +
                                       QString::fromStdString(sim.Sim().PtyPath()) +
                                       ": nothing was erased now, but an earlier update may have left the flash "
                                       "erased"});
  EXPECT_EQ(JumpsIn(sim.Trace()), 0u);
}

TEST(CliFlashCutMidFrame, AfterACutInTheMiddleOfAFrameFlashSucceedsAgainInOneAttempt) {
  QTemporaryDir dir;
  // 16 KiB take about 5 s on a 38400-baud line, written from 6 s on, after the hand-over: the cut
  // at 8.5 s falls among the blocks.
  SimLink sim({"--flash-out", dir.filePath("flash.bin").toStdString(), "--boot-baud", "38400", "--fault",
               "cut-mid-frame@8500"});
  const QString image = ImageFile(dir, "fw.bin", 16384);
  const CliRun failed = RunCli(sim.Link(false) + QStringList{"flash", image}, 60000);
  EXPECT_EQ(failed.Exit, 1);
  EXPECT_TRUE(failed.OutLines().contains("Bootloader in step again")) << failed.Out.toStdString();
  EXPECT_TRUE(PartlyWritten(failed.OutLines().last(), 64)) << failed.Out.toStdString();
  ASSERT_EQ(ErrLines(failed).size(), 1);
  EXPECT_TRUE(PartlyWritten(ErrLines(failed)[0], 64)) << failed.Err.toStdString();
  EXPECT_EQ(FileLines(sim.Dir("trace.jsonl")).filter("\"event\":\"cut\"").size(), 1);

  const CliRun again = RunCli(sim.Link(false) + QStringList{"flash", image}, 60000);
  ASSERT_EQ(again.Exit, 0) << again.Out.toStdString() << again.Err.toStdString();
  EXPECT_TRUE(again.OutLines().contains("Bootloader already active")) << again.Out.toStdString();
  EXPECT_FALSE(again.OutLines().contains("ACK response timeout!")) << again.Out.toStdString();
  EXPECT_EQ(again.OutLines().last(), "Started OK");
  EXPECT_EQ(FileBytes(dir.filePath("flash.bin"), 65536), FileBytes(image, 16384) + QByteArray(65536 - 16384, '\xFF'));
  EXPECT_EQ(JumpsIn(sim.Trace()), 1u) << "the second attempt found the bootloader";
}

// kelvora-cli flash running against the simulator, to be stopped.
class FlashRun {
 public:
  FlashRun(const SimLink& aSim, const QString& aImage) {
    fCli.start(QProcessEnvironment::systemEnvironment().value("KELVORA_BIN_DIR") + "/kelvora-cli",
               aSim.Link(false) + QStringList{"flash", aImage});
  }
  ~FlashRun() {
    if (fCli.state() != QProcess::NotRunning) fCli.kill();
    fCli.waitForFinished(5000);
  }
  bool Started() { return fCli.waitForStarted(5000); }
  // Ctrl-C, and the end of the run.
  bool Interrupt() {
    return ::kill(static_cast<pid_t>(fCli.processId()), SIGINT) == 0 && fCli.waitForFinished(30000) &&
           fCli.exitStatus() == QProcess::NormalExit;
  }
  int Exit() const { return fCli.exitCode(); }
  QStringList Out() {
    fOut += QString::fromUtf8(fCli.readAllStandardOutput());
    return fOut.split('\n', Qt::SkipEmptyParts);
  }
  QStringList Err() { return QString::fromUtf8(fCli.readAllStandardError()).split('\n', Qt::SkipEmptyParts); }
  bool WaitForOutput() { return fCli.waitForReadyRead(30000); }

 private:
  QProcess fCli;
  QString fOut;
};

TEST(CliFlashStop, CtrlCDuringTheHandOverRestartsTheFirmwareItLeft) {
  QTemporaryDir dir;
  SimLink sim;
  FlashRun run(sim, ImageFile(dir, "fw.bin", 2000));
  ASSERT_TRUE(run.Started());
  while (run.Out().filter("Jumping to the bootloader of").isEmpty()) ASSERT_TRUE(run.WaitForOutput());
  ASSERT_TRUE(run.Interrupt());
  EXPECT_EQ(run.Exit(), 1);
  const QStringList out = run.Out();
  EXPECT_EQ(out.mid(out.size() - 2),
            (QStringList{"Stop requested: the update ends here",
                         "Update stopped: nothing was erased; the supply's firmware is intact and was restarted"}))
      << out.join('\n').toStdString();
  EXPECT_EQ(run.Err(), QStringList{"kelvora-cli: the update did not complete: nothing was erased; the supply's "
                                   "firmware is intact and was restarted"});
  EXPECT_EQ(FileLines(sim.Dir("trace.jsonl")).filter("erase").size(), 0);
  EXPECT_EQ(RunCli(sim.Link(false) + QStringList{"status"}).Exit, 0) << "the firmware answers again";
}

TEST(CliFlashStop, CtrlCWhileTheBlocksAreWrittenPrintsTheStateTheSupplyIsIn) {
  QTemporaryDir dir;
  SimLink sim({"--flash-out", dir.filePath("flash.bin").toStdString(), "--boot-baud", "38400"});
  FlashRun run(sim, ImageFile(dir, "fw.bin", 16384));
  ASSERT_TRUE(run.Started());
  QElapsedTimer waited;
  waited.start();
  while (FileLines(sim.Dir("trace.jsonl")).filter("\"name\":\"write\",\"ok\":true").size() < 3 &&
         waited.elapsed() < 30000)
    QThread::msleep(20);
  ASSERT_TRUE(run.Interrupt());
  EXPECT_EQ(run.Exit(), 1);
  const QStringList out = run.Out();
  ASSERT_GE(out.size(), 2) << out.join('\n').toStdString();
  EXPECT_EQ(out[out.size() - 2], "Stop requested: the update ends here");
  EXPECT_TRUE(PartlyWritten(out.last(), 64)) << out.join('\n').toStdString();
  const QStringList err = run.Err();
  ASSERT_EQ(err.size(), 1) << err.join('\n').toStdString();
  EXPECT_TRUE(PartlyWritten(err[0], 64)) << err[0].toStdString();
  EXPECT_EQ(FileLines(sim.Dir("trace.jsonl")).filter("\"name\":\"go\"").size(), 0);
}

TEST(CliMessages, EachProblemIsOneLineThatNamesItsCause) {
  QTemporaryDir dir;
  SimLink sim;
  const auto err = [](const QStringList& aArgs) { return ErrLines(RunCli(aArgs)); };
  const QString pty = QString::fromStdString(sim.Sim().PtyPath());
  EXPECT_EQ(err({"--port", dir.filePath("ttyUSB9"), "status"}),
            QStringList{"kelvora-cli: no such port: " + dir.filePath("ttyUSB9") + " (connector code 2)"});
  const QString plain = ImageFile(dir, "plain", 10);
  EXPECT_EQ(err({"--port", plain, "status"}),
            QStringList{"kelvora-cli: not a serial port: " + plain + " (connector code 2)"});
  // Held by another program: a watch that is still running.
  QProcess watch;
  watch.start(QProcessEnvironment::systemEnvironment().value("KELVORA_BIN_DIR") + "/kelvora-cli",
              {"--port", pty, "watch", "--interval", "100"});
  ASSERT_TRUE(watch.waitForStarted(5000));
  ASSERT_TRUE(watch.waitForReadyRead(10000)) << "the watch holds the port once it reads";
  EXPECT_EQ(err({"--port", pty, "status"}),
            QStringList{"kelvora-cli: port busy: another program holds " + pty + " (connector code 2)"});
  watch.terminate();
  ASSERT_TRUE(watch.waitForFinished(5000));
  // Not allowed: the pty (mode 0600) as another user; for root, the program runs as nobody.
  QProcess denied;
  const bool root = ::getuid() == 0;
  const QString pty0600 = QFileInfo(pty).canonicalFilePath();
  QString program = QProcessEnvironment::systemEnvironment().value("KELVORA_BIN_DIR") + "/kelvora-cli";
  // Nobody may not enter the build folder (a checkout in a private home): it runs a copy.
  QTemporaryDir reachable("/tmp/kelvora-cli-XXXXXX");
  if (root) {
    ASSERT_TRUE(QFile::setPermissions(reachable.path(), QFile::permissions(reachable.path()) |
                                                            QFile::ExeOther | QFile::ReadOther));
    ASSERT_TRUE(QFile::copy(program, reachable.filePath("kelvora-cli")));
    program = reachable.filePath("kelvora-cli");
    denied.setChildProcessModifier([] {
      if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0) ::_exit(99);
    });
  } else {
    ASSERT_EQ(::chmod(pty0600.toLocal8Bit().constData(), 0), 0);
  }
  denied.start(program, {"--port", pty0600, "status"});
  ASSERT_TRUE(denied.waitForFinished(10000));
  if (!root) ::chmod(pty0600.toLocal8Bit().constData(), 0600);
  EXPECT_EQ(QString::fromUtf8(denied.readAllStandardError()).trimmed(),
            "kelvora-cli: permission denied: add yourself to the dialout group (" + pty0600 +
                ") (connector code 2)");

  EXPECT_EQ(err({"--tcp", "127.0.0.1:1", "status"}),
            QStringList{"kelvora-cli: cannot connect to 127.0.0.1:1: connection refused (nothing listens on "
                        "that port) (connector code 2)"});
  // Usage problems: one line each, not the whole usage, and exit status 2.
  const CliRun v6 = RunCli({"--tcp", "::1", "status"});
  EXPECT_EQ(v6.Exit, 2);
  EXPECT_EQ(ErrLines(v6),
            QStringList{"kelvora-cli: ::1 is an IPv6 address: Modbus TCP goes over IPv4 here; give an IPv4 "
                        "address or host"});
  const QString nowhere = dir.filePath("no/such/log.csv");
  const CliRun unwritable = RunCli({"--port", pty, "watch", "--count", "1", "--csv", nowhere});
  EXPECT_EQ(unwritable.Exit, 2);
  EXPECT_EQ(ErrLines(unwritable), QStringList{"kelvora-cli: " + nowhere + ": No such file or directory"});
  const CliRun absurd = RunCli({"--port", pty, "set", "--voltage", "1e308"});
  EXPECT_EQ(absurd.Exit, 2);
  EXPECT_EQ(ErrLines(absurd),
            QStringList{"kelvora-cli: 1e+308 V is above the KPX5005 limit of 51.00 V; nothing was written"});
  const CliRun full = RunCli({"--port", pty, "watch", "--count", "1", "--csv", "/dev/full"});
  EXPECT_EQ(full.Exit, 1);
  EXPECT_EQ(ErrLines(full), QStringList{"kelvora-cli: /dev/full: No space left on device"});
}

TEST(CliPorts, APortsFolderThatOthersCanChangeIsIgnored) {
  QTemporaryDir dir;
  SimLink sim;
  const QString folder = dir.filePath("ports");
  ASSERT_TRUE(QDir().mkpath(folder));
  ASSERT_TRUE(QFile::link(QString::fromStdString(sim.Sim().PtyPath()), folder + "/supply"));
  const QByteArray saved = qgetenv("KELVORA_PORTS_DIR");
  qputenv("KELVORA_PORTS_DIR", folder.toLocal8Bit());
  const auto status = [] { return RunCli({"--port", "supply", "status"}); };

  ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0777), 0);
  const CliRun planted = status();
  EXPECT_EQ(planted.Exit, 1);
  EXPECT_EQ(ErrLines(planted),
            (QStringList{"kelvora-cli: warning: ignoring the ports folder " + folder + ": " + folder +
                             " is writable by other users",
                         "kelvora-cli: no such port: /dev/supply (connector code 2)"}));
  // A folder that someone else owns: root gives this one away, anyone else meets one in the
  // system (/usr, whose owner is root, holding a "bin" that is looked at as a port).
  const bool root = ::getuid() == 0;
  const QString foreign = root ? folder : QString("/usr");
  if (root) {
    ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0700), 0);
    ASSERT_EQ(::chown(folder.toLocal8Bit().constData(), 65534, 65534), 0);
  }
  qputenv("KELVORA_PORTS_DIR", foreign.toLocal8Bit());
  const CliRun given = RunCli({"--port", root ? "supply" : "bin", "status"});
  EXPECT_EQ(given.Exit, 1);
  EXPECT_TRUE(given.Err.contains(foreign + QString(" belongs to another user (uid %1)").arg(root ? 65534 : 0)))
      << given.Err.toStdString();
  qputenv("KELVORA_PORTS_DIR", folder.toLocal8Bit());
  if (root) {
    ASSERT_EQ(::chown(folder.toLocal8Bit().constData(), 0, 0), 0);
  }
  EXPECT_TRUE(sim.Trace().Entries().empty());

  ASSERT_EQ(::chmod(folder.toLocal8Bit().constData(), 0700), 0);
  const CliRun own = status();
  EXPECT_EQ(own.Exit, 0) << own.Err.toStdString();
  EXPECT_TRUE(own.Err.isEmpty());

  // A simulator that makes the folder for a bare name makes it private.
  const QString fresh = dir.filePath("fresh/ports");
  qputenv("KELVORA_PORTS_DIR", fresh.toLocal8Bit());
  {
    SimProcess named({"--rtu", "kpx2"});
    struct stat st {};
    ASSERT_EQ(::stat(fresh.toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    ASSERT_EQ(::stat(dir.filePath("fresh").toLocal8Bit().constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
  qputenv("KELVORA_PORTS_DIR", saved);
}

// The simulator keeps its side of the pty open between clients; whatever a client leaves set on
// the terminal stays for the next one, and only root is exempt from the exclusive mode (the suite
// runs this program as a normal user).
TEST(CliPorts, ANormalUserOpensTheSimulatorsPortAgainAndAgain) {
  SimProcess sim({"--rtu", "kpx1"});  // in the test's own ports folder
  for (int open = 1; open <= 3; ++open) {
    const CliRun run = RunCli({"--port", "kpx1", "read", "0", "2"});
    EXPECT_EQ(run.Exit, 0) << "open " << open << ": " << run.Err.toStdString();
  }
}

// The retries asked for all go out through the connector, which must not give the link up
// after the third failure in a row.
TEST_P(CliOverLink, EveryRetryAskedForReachesTheSupply) {
  SimLink sim({"--fault", "loss=100%"});
  const CliRun run = Cli(sim, {"--retries", "5", "read", "0", "2"}, 60000);
  EXPECT_EQ(run.Exit, 1);
  EXPECT_TRUE(run.Err.contains("no answer from slave 1")) << run.Err.toStdString();
  EXPECT_EQ(sim.Trace().Requests([](const TraceEntry& e) { return IsRead(e, 0, 2); }).size(), 6u);
}

TEST(CliLink, RandomLossIsRiddenOutByTheRetries) {
  SimLink sim({"--fault", "loss=30%,seed=3"});
  const CliRun run = RunCli(sim.Link(true) + QStringList{"--retries", "5", "read", "0", "2"}, 60000);
  EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
  const size_t sent = sim.Trace().Requests([](const TraceEntry& e) { return IsRead(e, 0, 2); }).size();
  EXPECT_GE(sent, 1u);
  EXPECT_LE(sent, 6u);
}

// A raw write is never sent twice; when its answer is lost, nobody knows whether it was done.
TEST(CliLink, ARawWriteWhoseAnswerWasLostMayHaveTakenEffect) {
  SimLink sim({"--fault", "loss=100%"});
  const CliRun run = RunCli(sim.Link(true) + QStringList{"write", "35", "3"});
  EXPECT_EQ(run.Exit, 1);
  ASSERT_EQ(ErrLines(run).size(), 1) << run.Err.toStdString();
  EXPECT_TRUE(run.Err.contains("no answer from slave 1")) << run.Err.toStdString();
  EXPECT_TRUE(run.Err.trimmed().endsWith("; the write may have taken effect: read the register back before "
                                         "writing again"))
      << run.Err.toStdString();
  EXPECT_EQ(Writes(sim.Trace()).size(), 1u);
}

// RTU answers carry no transaction number: with every answer later than the time-out, a late
// answer must never pass for the answer to the next request (the identification reads several
// blocks of the same length).
TEST(CliLink, AnswersLaterThanTheTimeOutAreNeverTakenForTheNextRequest) {
  SimLink sim({"--fault", "delay-ms=1300"});
  const CliRun run = RunCli(sim.Link(false) + QStringList{"status"}, 60000);
  EXPECT_EQ(run.Exit, 1) << run.Out.toStdString();
  EXPECT_TRUE(run.Out.isEmpty()) << run.Out.toStdString();
  EXPECT_TRUE(run.Err.contains("no answer from slave 1")) << run.Err.toStdString();
}

// Many network bridges close a connection that has been idle for a second or so; the next
// reading reconnects at once instead of failing.
TEST(CliLink, ABridgeThatClosesIdleConnectionsLosesNoReading) {
  SimLink sim({"--fault", "idle-close-ms=1000"});
  const CliRun run =
      RunCli(sim.Link(true) + QStringList{"watch", "--interval", "2000", "--count", "3"}, 60000);
  EXPECT_EQ(run.Exit, 0) << run.Err.toStdString();
  EXPECT_FALSE(run.Err.contains("connection lost")) << run.Err.toStdString();
  EXPECT_EQ(run.OutLines().size(), 3) << run.Out.toStdString();
  int closed = 0;
  for (const TraceEntry& e : sim.Trace().Entries()) closed += e.Dir == "link";
  EXPECT_GE(closed, 2) << "the bridge closed the idle connection between readings";
}

TEST(CliModel, AModelOutsideTheTableIsNeitherShownNorSet) {
  SimLink sim({"--model", "4242"});
  const CliRun status = RunCli(sim.Link(false) + QStringList{"status"});
  EXPECT_EQ(status.Exit, 1);
  EXPECT_TRUE(status.Err.contains("4242")) << status.Err.toStdString();
  EXPECT_EQ(RunCli(sim.Link(false) + QStringList{"set", "--voltage", "1"}).Exit, 1);
  EXPECT_TRUE(Writes(sim.Trace()).empty());
  // Raw registers need no scaling.
  EXPECT_EQ(RunCli(sim.Link(false) + QStringList{"read", "11"}).Out.trimmed(), "11: 4242");
}

TEST(CliWatch, EndsWithSuccessWhenStoppedAndKeepsEveryLine) {
  SimLink sim;
  const QString csv = sim.Dir("stop.csv");
  QProcess watch;
  watch.start(QProcessEnvironment::systemEnvironment().value("KELVORA_BIN_DIR") + "/kelvora-cli",
              sim.Link(false) + QStringList{"watch", "--interval", "50", "--csv", csv});
  ASSERT_TRUE(watch.waitForStarted(5000));
  QElapsedTimer waited;
  waited.start();
  while (FileLines(csv).size() < 4 && waited.elapsed() < 10000) QThread::msleep(20);
  watch.terminate();  // SIGTERM
  ASSERT_TRUE(watch.waitForFinished(5000));
  EXPECT_EQ(watch.exitStatus(), QProcess::NormalExit);
  EXPECT_EQ(watch.exitCode(), 0);
  const QStringList lines = FileLines(csv);
  ASSERT_GE(lines.size(), 4);
  for (const QString& line : lines) EXPECT_EQ(line.split(',').size(), 11) << line.toStdString();
}

}  // namespace
}  // namespace kelvora::test
