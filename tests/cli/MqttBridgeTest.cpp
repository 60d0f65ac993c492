// The bridge's own rules, with a broker in the test's hands and kpx-sim as the supply, its trace
// the oracle: retained commands are never carried out, waiting commands merge with OFF first,
// an unchanged reading stays unpublished, and each bench has an identity of its own.

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QTemporaryDir>

#include <tuple>

#include "cli/CliOptions.h"
#include "cli/LinkJobs.h"
#include "cli/MqttBridge.h"
#include "cli/MqttCommandQueue.h"
#include "cli/MqttTakeoverCheck.h"
#include "cli/MqttTopics.h"
#include "cli/ServedSupply.h"
#include "cli/SyncMaster.h"
#include "tests/cli/FakeMqttClient.h"
#include "tests/support/SimProcess.h"
#include "tests/support/SimTrace.h"

namespace {

using kelvora::test::SimProcess;
using kelvora::test::SimTrace;
using kelvora::test::TraceEntry;

bool WaitFor(const std::function<bool()>& aCondition, int aTimeoutMs = 15000) {
  QElapsedTimer clock;
  clock.start();
  while (!aCondition()) {
    if (clock.elapsed() > aTimeoutMs) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return true;
}

TEST(MqttCommandQueue, KeepsTheNewestValueOfEachTopicAndSwitchesOffFirst) {
  TMqttCommandQueue q;
  for (int i = 0; i < 3000; ++i) q.Add({"voltage", QString::number(i)});
  q.Add({"current", "1.5"});
  q.Add({"voltage", "24"});
  q.Add({"output", "ON"});
  q.Add({"output", "off"});
  EXPECT_EQ(q.Size(), 3u);
  auto next = q.Take();
  EXPECT_EQ(next->What, "output");
  EXPECT_EQ(next->Value, "off");
  next = q.Take();
  EXPECT_EQ(next->What, "voltage");  // in its first place, with the last value
  EXPECT_EQ(next->Value, "24");
  EXPECT_EQ(q.Take()->What, "current");
  EXPECT_FALSE(q.Take());
  // ON has no precedence over set points.
  q.Add({"voltage", "3"});
  q.Add({"output", "ON"});
  EXPECT_EQ(q.Take()->What, "voltage");
}

TEST(MqttIdentity, EachBenchIsItsOwnDeviceWhateverTheModelAndSlave) {
  EXPECT_EQ(MqttNodeId("lab/bench1"), "kelvora_lab_bench1");
  EXPECT_EQ(MqttNodeId("kelvora/KPX5005-1"), "kelvora_kelvora_KPX5005-1");
  EXPECT_NE(MqttNodeId("lab/bench1"), MqttNodeId("lab/bench2"));
  // Levels that read the same once flattened are still two benches.
  EXPECT_NE(MqttNodeId("lab/bench_1"), MqttNodeId("lab/bench/1"));
  EXPECT_NE(MqttNodeId("lab/bench 1"), MqttNodeId("lab/bench_1"));
  EXPECT_TRUE(QRegularExpression("^[A-Za-z0-9_-]+$").match(MqttNodeId("Läb/bench 1")).hasMatch());
  EXPECT_EQ(DefaultMqttName("lab/bench1"), "bench1");
  EXPECT_EQ(MqttClientId("rig7", "lab/bench1"), "kelvora-rig7-lab/bench1");
  EXPECT_NE(MqttClientId("rig7", "lab/bench1"), MqttClientId("rig7", "lab/bench2"));
  EXPECT_NE(MqttClientId("rig7", "lab/bench1"), MqttClientId("rig8", "lab/bench1"));

  EXPECT_TRUE(MqttPrefixProblem("lab/bench1").isEmpty());
  for (const QString& bad :
       {QString("$SYS/x"), QString("lab/+"), QString("lab/#"), QString("lab/"), QString("/lab"),
        QString("lab//b"), QString(), QString("lab\nb"), QString("lab") + QChar(0x7F)})
    EXPECT_FALSE(MqttPrefixProblem(bad).isEmpty()) << bad.toStdString();
}

TEST(MqttCommandLine, TakesTheBrokerAsHostIpv4OrIpv6AndTheBenchsOptions) {
  const auto parse = [](const QString& aLine) {
    return ParseCommandLine(aLine.split(' ', Qt::SkipEmptyParts));
  };
  for (const auto& [where, host, port] :
       {std::tuple{"broker.lab", "broker.lab", 0}, std::tuple{"10.0.0.2:1884", "10.0.0.2", 1884},
        std::tuple{"[::1]:1885", "::1", 1885}, std::tuple{"[::1]", "::1", 0},
        std::tuple{"::1", "::1", 0}, std::tuple{"fe80::1", "fe80::1", 0}}) {
    const TParsedCommandLine p = parse(QString("--port p serve --mqtt ") + where);
    ASSERT_TRUE(p.Options) << where << ": " << p.Error.toStdString();
    EXPECT_EQ(p.Options->MqttHost, host);
    EXPECT_EQ(p.Options->MqttPort.value_or(0), port) << where;
  }
  TParsedCommandLine p = parse(
      "--port p serve --mqtt h --mqtt-prefix lab/b1 --mqtt-name Bench --mqtt-takeover "
      "--discovery-prefix ha --heartbeat 5 --mqtt-tls ca.pem --mqtt-cert c.pem --mqtt-key c.key");
  ASSERT_TRUE(p.Options) << p.Error.toStdString();
  EXPECT_EQ(p.Options->MqttName, "Bench");
  EXPECT_TRUE(p.Options->MqttTakeover);
  EXPECT_EQ(p.Options->DiscoveryPrefix, "ha");
  EXPECT_EQ(p.Options->HeartbeatS, 5);
  EXPECT_EQ(p.Options->MqttCertFile, "c.pem");
  EXPECT_EQ(p.Options->MqttKeyFile, "c.key");
  p = parse("--port p serve --mqtt h --remove-discovery");
  ASSERT_TRUE(p.Options);
  EXPECT_TRUE(p.Options->MqttRemoveDiscovery);
  EXPECT_FALSE(p.Options->Scpi);
  EXPECT_EQ(parse("--port p serve --mqtt h").Options->HeartbeatS, 60);

  for (const char* line : {
           "--port p serve --mqtt [::1",             // unclosed bracket
           "--port p serve --mqtt [10.0.0.1]:1883",  // brackets are for IPv6
           "--port p serve --mqtt ::g", "--port p serve --mqtt h:0",
           "--port p serve --mqtt h --mqtt-prefix $SYS/kelvora",
           "--port p serve --mqtt h --discovery-prefix ha/",
           "--port p serve --mqtt h --heartbeat 0",
           "--port p serve --mqtt h --mqtt-tls ca.pem --mqtt-cert c.pem",  // no key
           "--port p serve --mqtt h --mqtt-cert c.pem --mqtt-key c.key",   // no TLS
           "--port p serve --mqtt h --remove-discovery --listen 127.0.0.1:5025",
           "--port p serve --mqtt-takeover",  // no broker
       }) {
    p = parse(line);
    EXPECT_FALSE(p.Options) << line;
    EXPECT_FALSE(p.Error.isEmpty()) << line;
  }
}

TEST(MqttTakeoverCheck, ARetainedOnlineBeforeTheMarkerMeansAnotherBridge) {
  for (const bool taken : {true, false}) {
    TFakeMqttClient client;
    TMqttTakeoverCheck check(client, "lab/b1");
    std::vector<bool> results;
    check.OnResult = [&](bool aTaken) { results.push_back(aTaken); };
    client.Connect();
    ASSERT_EQ(client.Subscribed,
              (std::vector<QString>{"lab/b1/availability", "lab/b1/takeover-check"}));
    ASSERT_EQ(client.On("lab/b1/takeover-check").size(), 1u);
    // A dead bridge's will, or a live "online" just sent, is not a bridge holding the prefix.
    client.Deliver("lab/b1/availability", "offline", true);
    client.Deliver("lab/b1/availability", "online", false);
    if (taken) client.Deliver("lab/b1/availability", "online", true);
    client.Deliver("lab/b1/takeover-check", "1");
    EXPECT_EQ(results, std::vector<bool>{taken});
  }
}

// One bridge over a fake broker and kpx-sim over Modbus TCP.
class MqttBridgeRules : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(fFolder.isValid());
    fSim = std::make_unique<SimProcess>(
        std::vector<std::string>{"--tcp", "0", "--trace", fTrace.Path().toStdString()});
    TLinkSettings link;
    link.TcpHost = "127.0.0.1";
    link.TcpPort = fSim->TcpPort();
    fMaster = std::make_unique<TSyncMaster>(link);
    QString error;
    ASSERT_TRUE(fMaster->Open(error)) << error.toStdString();
    fSupply = std::make_unique<TServedSupply>(*fMaster);
    ASSERT_TRUE(fSupply->Identify(error)) << error.toStdString();
  }

  void StartBridge(int aIntervalMs = 1000) {
    TMqttBridgeSettings s;
    s.Bench = {"lab/b1", "b1", 1, "homeassistant"};
    s.IntervalMs = aIntervalMs;
    fBridge = std::make_unique<TMqttBridge>(*fSupply, fJobs, fClient, s);
    fBridge->Start();
    fClient.Connect();
    ASSERT_TRUE(WaitFor([&] { return !fClient.On("lab/b1/state").empty(); }));
  }

  std::vector<TraceEntry> Writes() const {
    return fTrace.Requests([](const TraceEntry& e) { return e.Fc == 6 || e.Fc == 16; });
  }
  bool Results(size_t aCount) {
    return WaitFor([&] { return fClient.On("lab/b1/result").size() >= aCount; });
  }

  QTemporaryDir fFolder;
  SimTrace fTrace{fFolder.filePath("trace.jsonl")};
  std::unique_ptr<SimProcess> fSim;
  std::unique_ptr<TSyncMaster> fMaster;
  std::unique_ptr<TServedSupply> fSupply;
  TLinkJobs fJobs;
  TFakeMqttClient fClient;
  std::unique_ptr<TMqttBridge> fBridge;
};

TEST_F(MqttBridgeRules, RetainedCommandsAreClearedNotCarriedOutAndEmptyOnesIgnored) {
  StartBridge();
  EXPECT_EQ(fClient.Subscribed, std::vector<QString>{"lab/b1/set/+"});
  const size_t before = fClient.Published.size();
  fClient.Deliver("lab/b1/set/output", "ON", true);
  fClient.Deliver("lab/b1/set/voltage", "24", true);
  fClient.Deliver("lab/b1/set/voltage", "", false);  // what the clearing brings back
  fClient.Deliver("lab/b1/set/current", "1.5", false);
  ASSERT_TRUE(Results(3));
  EXPECT_EQ(fClient.On("lab/b1/result"),
            (std::vector<QByteArray>{TMqttBridge::RetainedRefusal(), TMqttBridge::RetainedRefusal(),
                                     "ok"}));
  std::vector<QString> cleared;
  for (size_t i = before; i < fClient.Published.size(); ++i) {
    const TFakePublish& p = fClient.Published[i];
    if (p.Topic.contains("/set/")) {
      EXPECT_TRUE(p.Retain && p.Payload.isEmpty()) << p.Topic.toStdString();
      cleared.push_back(p.Topic);
    }
  }
  EXPECT_EQ(cleared, (std::vector<QString>{"lab/b1/set/output", "lab/b1/set/voltage"}));
  // Only the live current was written, with the voltage as it stood (5.00 V).
  const std::vector<TraceEntry> writes = Writes();
  ASSERT_EQ(writes.size(), 1u);
  EXPECT_EQ(writes[0].Values, (std::vector<int>{500, 1500}));
}

TEST_F(MqttBridgeRules, WaitingCommandsMergeAndOffOvertakesTheSetPoints) {
  StartBridge();
  fClient.Deliver("lab/b1/set/output", "ON");
  ASSERT_TRUE(Results(1));
  // All of these arrive before the link is free again.
  for (int i = 1; i <= 3000; ++i)
    fClient.Deliver("lab/b1/set/voltage", QByteArray::number(i / 100.0, 'f', 2));
  fClient.Deliver("lab/b1/set/output", "OFF");
  ASSERT_TRUE(Results(3));
  const std::vector<TraceEntry> writes = Writes();
  ASSERT_EQ(writes.size(), 3u);
  EXPECT_EQ(writes[0].Addr, 9);
  EXPECT_EQ(writes[0].Values, std::vector<int>{1});
  EXPECT_EQ(writes[1].Addr, 9);
  EXPECT_EQ(writes[1].Values, std::vector<int>{0});
  EXPECT_EQ(writes[2].Addr, 0);
  EXPECT_EQ(writes[2].Values[0], 3000);  // the newest of the 3000
}

TEST_F(MqttBridgeRules, AnUnchangedReadingIsNotPublishedAgainBeforeTheHeartbeat) {
  StartBridge(50);
  const auto polls = [&] {
    return fTrace.Requests([](const TraceEntry& e) { return IsRead(e, 0, 10); }).size();
  };
  const size_t from = polls();
  ASSERT_TRUE(WaitFor([&] { return polls() >= from + 5; }));
  EXPECT_EQ(fClient.On("lab/b1/state").size(), 1u);
  fClient.Deliver("lab/b1/set/voltage", "7.5");
  ASSERT_TRUE(WaitFor([&] { return fClient.On("lab/b1/state").size() == 2; }));
  const QJsonObject state = QJsonDocument::fromJson(fClient.On("lab/b1/state").back()).object();
  EXPECT_EQ(state["set_voltage"].toDouble(), 7.5);
}

TEST_F(MqttBridgeRules, RefusalsEchoAtMost64BytesAndUnknownCommandsWriteNothing) {
  StartBridge();
  fClient.Deliver("lab/b1/set/voltage", QByteArray(100, 'x'));
  fClient.Deliver("lab/b1/set/voltage", QByteArray(5000, 'y'));
  fClient.Deliver("lab/b1/set/reboot", "1");
  ASSERT_TRUE(Results(3));
  const std::vector<QByteArray> results = fClient.On("lab/b1/result");
  for (const QByteArray& r : results) EXPECT_TRUE(r.contains("nothing was written")) << r.data();
  for (const char c : {'x', 'y'}) {
    const auto echo = std::find_if(results.begin(), results.end(), [&](const QByteArray& r) {
      return r.contains(QByteArray(8, c));
    });
    ASSERT_NE(echo, results.end()) << c;
    EXPECT_TRUE(echo->contains(QByteArray(64, c) + "…")) << echo->data();
    EXPECT_FALSE(echo->contains(QByteArray(65, c))) << echo->data();
  }
  EXPECT_TRUE(Writes().empty());
}

TEST_F(MqttBridgeRules, HeldBridgeDropsWhatWaitsAndSaysOfflineOnStop) {
  StartBridge();
  fClient.Deliver("lab/b1/set/output", "ON");
  fBridge->Hold();
  fClient.Deliver("lab/b1/set/lock", "ON");
  fBridge->Stop(100);
  QCoreApplication::processEvents();
  EXPECT_TRUE(Writes().empty());
  EXPECT_EQ(fClient.On("lab/b1/availability").back(), "offline");
}

}  // namespace
