// The command-line tool's own rules: what the command line accepts, how values are scaled and
// written, and which library text a failure gets.

#include <gtest/gtest.h>

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>

#include "core/ModelIdentity.h"
#include "core/UtilUnit.h"
#include "cli/CliOptions.h"
#include "cli/CsvLog.h"
#include "cli/FailureText.h"
#include "cli/ProgressBar.h"
#include "cli/RetryPolicy.h"
#include "cli/SyncMaster.h"
#include "cli/Units.h"

namespace {

TParsedCommandLine Parse(const QString& aLine) {
  return ParseCommandLine(aLine.split(' ', Qt::SkipEmptyParts));
}

TEST(CliCommandLine, AcceptsEachCommandWithItsArguments) {
  auto p = Parse("--tcp 10.0.0.5:1502 --slave 3 --json set --voltage 12.5 --current 0.25");
  ASSERT_TRUE(p.Options) << p.Error.toStdString();
  EXPECT_EQ(p.Options->TcpHost, "10.0.0.5");
  EXPECT_EQ(p.Options->TcpPort, 1502);
  EXPECT_EQ(p.Options->Slave, 3);
  EXPECT_TRUE(p.Options->Json);
  EXPECT_EQ(p.Options->Command, TCliCommand::Set);
  EXPECT_DOUBLE_EQ(*p.Options->Voltage, 12.5);
  EXPECT_DOUBLE_EQ(*p.Options->Current, 0.25);

  p = Parse("--port /dev/ttyUSB0 --baud 19200 write 0x50 1 65535");
  ASSERT_TRUE(p.Options) << p.Error.toStdString();
  EXPECT_EQ(p.Options->Baud, 19200);
  EXPECT_EQ(p.Options->Address, 80);
  EXPECT_EQ(p.Options->Values, (TKRRegisters{1, 65535}));

  p = Parse("--port p watch --interval 250 --count 5 --csv log.csv");
  ASSERT_TRUE(p.Options);
  EXPECT_EQ(p.Options->IntervalMs, 250);
  EXPECT_EQ(*p.Options->Count, 5);
  EXPECT_EQ(p.Options->CsvFile, "log.csv");

  p = Parse("--port p flash fw.bin --no-verify");
  ASSERT_TRUE(p.Options);
  EXPECT_FALSE(p.Options->Verify);
  EXPECT_EQ(Parse("--tcp h status").Options->TcpPort, 502);
  EXPECT_EQ(Parse("--tcp h status").Options->Retry.Retries, 2);
  EXPECT_EQ(Parse("--tcp h --retries 0 status").Options->Retry.Retries, 0);
  // An IPv6 address, with or without a port, is read as one address, which the IPv4 transport
  // cannot reach: a usage error that says so.
  for (const char* line : {"--tcp ::1 status", "--tcp [::1]:1502 status"}) {
    p = Parse(line);
    EXPECT_FALSE(p.Options) << line;
    EXPECT_EQ(p.Error, "::1 is an IPv6 address: Modbus TCP goes over IPv4 here; give an IPv4 address or host");
  }
  EXPECT_TRUE(Parse("--help").Help);
}

TEST(CliCommandLine, RefusesWhatCannotBeMeant) {
  for (const char* line : {
           "status",                       // no link
           "--port p --tcp h status",      // two links
           "--tcp h --baud 9600 status",   // baud on TCP
           "--port p --baud 1234 status",  // not a rate the supply offers
           "--port p --slave 0 status",
           "--port p --slave 248 status",
           "--port p set",  // nothing to set
           "--port p set --voltage -1",
           "--port p set --voltage 1,5",
           "--port p output 1",
           "--port p preset 20",
           "--port p read 0 0",
           "--port p read 0 126",
           "--port p read 65535 2",
           "--port p write 10",
           "--port p write 10 65536",
           "--port p status --count 3",  // an option of another command
           "--port p watch --interval 5",
           "--tcp h flash fw.bin",  // the bootloader is serial only
           "--port p reboot",
           "--port p status extra",
           "--port p --voltage",
           "--port p --retries 21 status",
           "--tcp h: status",
           "--tcp [::1 status",
       }) {
    const TParsedCommandLine p = Parse(line);
    EXPECT_FALSE(p.Options) << line;
    EXPECT_FALSE(p.Error.isEmpty()) << line;
  }
}

TEST(CliUnits, ScaleWithTheModelsCurrentUnit) {
  ResetModelVariables();
  TModel model{};
  SetupModelLimits(3005, model, false);
  EXPECT_EQ(AmpsText(5100), "5.100");
  EXPECT_EQ(*CurrentUnits(0.29), 290u);
  EXPECT_EQ(PowerOf(1200, 500), 600u);  // 12 V x 0.5 A = 6.00 W
  SetupModelLimits(5015, model, false);
  EXPECT_EQ(AmpsText(1510), "15.10");
  EXPECT_EQ(*CurrentUnits(0.29), 29u);
  EXPECT_EQ(PowerOf(1200, 50), 600u);
  EXPECT_EQ(*VoltageUnits(12.34), 1234u);  // 1233.99999... as a double
  EXPECT_FALSE(VoltageUnits(700.0));       // beyond a register
  EXPECT_EQ(VoltsText(5), "0.05");
  EXPECT_EQ(DecimalText(123456789, 2), "1234567.89");
  EXPECT_EQ(DurationText(3725), "1:02:05");
  EXPECT_EQ(PresetName(9), "M9");
  EXPECT_EQ(PresetName(10), "C0");
  ResetModelVariables();
}

TEST(CliResults, FailuresAreToldInEnglishWithTheLibrarysCode) {
  const TLinkPlace place{"/dev/ttyUSB0", 1, 1000};
  EXPECT_EQ(FailureText(6, false, place),
            "no answer from slave 1 on /dev/ttyUSB0 within 1000 ms (connector code 6)");
  EXPECT_EQ(FailureText(2, true, place),
            "slave 1 refused the request: illegal data address (exception 2)");
  EXPECT_EQ(FailureText(-4, true, place),
            "a garbled answer from slave 1 on /dev/ttyUSB0: checksum error (library code -4)");
  EXPECT_EQ(FailureText(-107, false, place),
            "the link to /dev/ttyUSB0 is not active (library code -107)");
  EXPECT_EQ(PortOpenText(TPortProblem::Busy, "/dev/ttyUSB0"),
            "port busy: another program holds /dev/ttyUSB0 (connector code 2)");
  EXPECT_EQ(PortOpenText(TPortProblem::Permission, "/dev/ttyS0"),
            "permission denied: add yourself to the dialout group (/dev/ttyS0) (connector code 2)");
  EXPECT_TRUE(TCallResult{}.Ok());
}

TEST(CliRetries, OnlyLostOrGarbledAnswersOfRepeatableRequestsAreSentAgain) {
  const auto run = [](TRetryPolicy aPolicy, TRepeat aRepeat, std::vector<TCallResult> aResults) {
    int sent = 0;
    const TCallResult last = aPolicy.Run(aRepeat, [&] { return aResults[sent++]; });
    return std::make_pair(sent, last.Error);
  };
  const TCallResult lost{6, false, {}, {}}, garbled{-4, true, {}, {}}, refused{2, true, {}, {}};
  EXPECT_EQ(run({}, TRepeat::Idempotent, {lost, garbled, {}}), std::make_pair(3, 0));
  EXPECT_EQ(run({}, TRepeat::Idempotent, {lost, lost, lost, {}}), std::make_pair(3, 6));
  EXPECT_EQ(run({}, TRepeat::Idempotent, {refused, {}}), std::make_pair(1, 2));
  EXPECT_EQ(run({}, TRepeat::Once, {lost, {}}), std::make_pair(1, 6));
  EXPECT_EQ(run({5}, TRepeat::Idempotent, {lost, lost, lost, lost, lost, {}}), std::make_pair(6, 0));
}

TEST(CliCsv, QuotesOnlyWhatNeedsItAndAppendsWithOneHeader) {
  EXPECT_EQ(TCsvLog::Quoted("12.00"), "12.00");
  EXPECT_EQ(TCsvLog::Quoted("lost: a, b"), "\"lost: a, b\"");
  EXPECT_EQ(TCsvLog::Quoted("say \"hi\""), "\"say \"\"hi\"\"\"");

  QTemporaryDir dir;
  const QString path = dir.filePath("x.csv");
  {
    TCsvLog log(path, {"a", "b"});
    ASSERT_TRUE(log.Error().isEmpty());
    EXPECT_TRUE(log.Write({"1", "2"}));
  }
  TCsvLog again(path, {"a", "b"});
  EXPECT_TRUE(again.Write({"3", "4"}));
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), "a,b\n1,2\n3,4\n");

  const TCsvLog nowhere(dir.filePath("no/such/dir.csv"), {"a"});
  EXPECT_FALSE(nowhere.Error().isEmpty());
  EXPECT_TRUE(nowhere.Unusable());

  // A row cut off at the end is ended before the next one; another log's file is refused.
  f.close();
  ASSERT_TRUE(f.resize(f.size() - 1));
  EXPECT_TRUE(TCsvLog(path, {"a", "b"}).Write({"5", "6"}));
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), "a,b\n1,2\n3,4\n5,6\n");
  const TCsvLog other(path, {"a", "c"});
  EXPECT_TRUE(other.Unusable());
  EXPECT_TRUE(other.Error().contains("header")) << other.Error().toStdString();
  EXPECT_TRUE(QDateTime::fromString(IsoTimeNow(), Qt::ISODateWithMs).isValid());

  // Saved by a spreadsheet program, the file starts with a byte-order mark; it is still this log.
  QFile marked(dir.filePath("marked.csv"));
  ASSERT_TRUE(marked.open(QIODevice::WriteOnly));
  marked.write("\xEF\xBB\xBF" "a,b\n1,2\n");
  marked.close();
  TCsvLog continued(marked.fileName(), {"a", "b"});
  EXPECT_TRUE(continued.Error().isEmpty()) << continued.Error().toStdString();
  EXPECT_TRUE(continued.Write({"3", "4"}));
  ASSERT_TRUE(marked.open(QIODevice::ReadOnly));
  EXPECT_EQ(marked.readAll(), "\xEF\xBB\xBF" "a,b\n1,2\n3,4\n");
}

TEST(CliProgressBar, FillsInProportion) {
  EXPECT_EQ(TProgressBar::Text(0, 10, 10), "[          ]   0%");
  EXPECT_EQ(TProgressBar::Text(5, 10, 10), "[#####     ]  50%");
  EXPECT_EQ(TProgressBar::Text(12, 10, 10), "[##########] 100%");
  EXPECT_EQ(TProgressBar::Text(3, 0, 10), "[##########] 100%");
}

}  // namespace
