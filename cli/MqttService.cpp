#include "cli/MqttService.h"

#include "cli/Console.h"
#include "cli/StopRequest.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QSysInfo>

namespace {

// The password is the whole file but its trailing newline, and never on the command line,
// where every local user could read it.
bool ReadPassword(const QString& aFile, QString& aPassword, QString& aError) {
  QFile file(aFile);
  if (!file.open(QIODevice::ReadOnly)) {
    aError = QString("cannot read the MQTT password file %1: %2").arg(aFile, file.errorString());
    return false;
  }
  QByteArray text = file.read(64 * 1024);
  if (text.endsWith('\n')) text.chop(1);
  if (text.endsWith('\r')) text.chop(1);
  if (text.isEmpty()) {
    aError = QString("the MQTT password file %1 is empty").arg(aFile);
    return false;
  }
  aPassword = QString::fromUtf8(text);
  if (QFileInfo(aFile).permissions() & (QFileDevice::ReadGroup | QFileDevice::ReadOther))
    PrintError(QString("warning: other users can read the MQTT password file %1 (chmod 600 it)")
                   .arg(aFile));
  return true;
}

bool IsLoopback(const QString& aHost) {
  return aHost == "localhost" || QHostAddress(aHost).isLoopback();
}

}  // namespace

TMqttService::TMqttService(const TCliOptions& aOptions, TServedSupply& aSupply, TLinkJobs& aJobs)
    : fOptions(aOptions), fSupply(aSupply), fJobs(aJobs) {}

TMqttService::~TMqttService() = default;

bool TMqttService::MakeSettings(QString& aError) {
  const TCliOptions& o = fOptions;
  TDiscoverySettings& bench = fBridgeSettings.Bench;
  bench.Prefix =
      o.MqttPrefix.isEmpty() ? DefaultMqttPrefix(fSupply.Known(), o.Slave) : o.MqttPrefix;
  bench.Name = o.MqttName.isEmpty() ? DefaultMqttName(bench.Prefix) : o.MqttName;
  bench.Slave = o.Slave;
  bench.DiscoveryPrefix = o.DiscoveryPrefix;
  fBridgeSettings.IntervalMs = o.IntervalMs;
  fBridgeSettings.HeartbeatS = o.HeartbeatS;
  fBridgeSettings.Discovery = o.MqttDiscovery;

  TMqttSettings& s = fSettings;
  s.Host = o.MqttHost;
  s.Port = o.MqttPort.value_or(o.MqttCaFile.isEmpty() ? 1883 : 8883);
  s.ClientId = MqttClientId(QSysInfo::machineHostName(), bench.Prefix);
  s.User = o.MqttUser;
  if (!o.MqttPasswordFile.isEmpty() && !ReadPassword(o.MqttPasswordFile, s.Password, aError))
    return false;
  if (!s.Password.isEmpty() && o.MqttCaFile.isEmpty() && !IsLoopback(s.Host))
    PrintError(QString("warning: the MQTT password goes to %1 in clear text; --mqtt-tls CAFILE "
                       "protects it")
                   .arg(s.Host));
  s.CaFile = o.MqttCaFile;
  s.CertFile = o.MqttCertFile;
  s.KeyFile = o.MqttKeyFile;
  return true;
}

bool TMqttService::StartClient(TMqttClient& aClient, const TMqttSettings& aSettings,
                               QString& aError) {
  aClient.OnDisconnected = [](const QString& aWhy) {
    PrintError(QString("MQTT broker: %1; trying again with back-off (%2 s doubling to %3 s)")
                   .arg(aWhy)
                   .arg(kMqttRetryFirstSeconds)
                   .arg(kMqttRetryLastSeconds));
  };
  return aClient.Start(aSettings, aError);
}

bool TMqttService::Start(QString& aError) {
  if (!MakeSettings(aError)) return false;
  // Neither the check nor the removal is the bridge: they must not take its session.
  TMqttSettings aside = fSettings;
  aside.ClientId += "-" + QString::number(QCoreApplication::applicationPid());
  if (fOptions.MqttRemoveDiscovery) {
    fClient = MakeMosquittoClient();
    fClient->OnConnected = [this] { RemoveDiscovery(); };
    return StartClient(*fClient, aside, aError);
  }
  if (fOptions.MqttTakeover) return StartBridge(aError);
  fCheckClient = MakeMosquittoClient();
  fCheck = std::make_unique<TMqttTakeoverCheck>(*fCheckClient, fBridgeSettings.Bench.Prefix);
  fCheck->OnResult = [this](bool aTaken) {
    // The check's client goes away, but not from inside its own callback.
    QMetaObject::invokeMethod(
        &fContext, [this, aTaken] { Checked(aTaken); }, Qt::QueuedConnection);
  };
  return StartClient(*fCheckClient, aside, aError);
}

void TMqttService::Checked(bool aTaken) {
  fCheckClient->Stop(1000);
  fCheck.reset();
  fCheckClient.reset();
  if (aTaken) {
    PrintError(QString("another bridge serves %1 (its availability is online); stop it, give "
                       "another --mqtt-prefix, or take it over with --mqtt-takeover")
                   .arg(fBridgeSettings.Bench.Prefix));
    fExitCode = kExitUsage;
    RequestStop();
    return;
  }
  QString error;
  // The settings were good for the check already.
  if (!StartBridge(error)) {
    PrintError(error);
    fExitCode = kExitUsage;
    RequestStop();
  }
}

bool TMqttService::StartBridge(QString& aError) {
  fClient = MakeMosquittoClient();
  fBridge = std::make_unique<TMqttBridge>(fSupply, fJobs, *fClient, fBridgeSettings);
  TMqttSettings s = fSettings;
  s.WillTopic = fBridge->AvailabilityTopic();
  s.WillPayload = TMqttBridge::Offline();
  fBridge->Start();
  return StartClient(*fClient, s, aError);
}

void TMqttService::RemoveDiscovery() {
  const QStringList topics = DiscoveryTopics(fBridgeSettings.Bench);
  for (const QString& topic : topics) fClient->Publish(topic, {}, true);
  PrintLine(QString("removed the discovery configurations of %1 (%2 topics under %3/)")
                .arg(fBridgeSettings.Bench.Prefix)
                .arg(topics.size())
                .arg(fBridgeSettings.Bench.DiscoveryPrefix));
  RequestStop();
}

void TMqttService::Hold() {
  if (fBridge) fBridge->Hold();
}

void TMqttService::Stop(int aBudgetMs) {
  if (fBridge)
    fBridge->Stop(aBudgetMs);
  else if (fClient)
    fClient->Stop(aBudgetMs);
  if (fCheckClient) fCheckClient->Stop(aBudgetMs);
}
