#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/MqttBridge.h"
#include "cli/MqttTopics.h"
#include "cli/ScpiInstrument.h"
#include "cli/ScpiServer.h"
#include "cli/ServedSupply.h"
#include "cli/StopRequest.h"
#include "core/RegisterMap.h"

#include <QCoreApplication>
#include <QFile>
#include <QHostAddress>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

// The first line of the password file; the password never stands on the command line, where
// every local user could read it.
bool ReadPassword(const QString& aFile, QString& aPassword, QString& aError) {
  QFile file(aFile);
  if (!file.open(QIODevice::ReadOnly)) {
    aError = QString("cannot read the MQTT password file %1: %2").arg(aFile, file.errorString());
    return false;
  }
  aPassword = QString::fromUtf8(file.readLine()).trimmed();
  return true;
}

bool StartMqtt(const TCliOptions& o, TMqttClient& aClient, const TMqttBridge& aBridge,
               QString& aError) {
  TMqttSettings s;
  s.Host = o.MqttHost;
  s.Port = o.MqttPort.value_or(o.MqttCaFile.isEmpty() ? 1883 : 8883);
  s.ClientId = QString("kelvora-cli-%1").arg(QCoreApplication::applicationPid());
  s.User = o.MqttUser;
  if (!o.MqttPasswordFile.isEmpty() && !ReadPassword(o.MqttPasswordFile, s.Password, aError))
    return false;
  s.CaFile = o.MqttCaFile;
  s.WillTopic = aBridge.AvailabilityTopic();
  s.WillPayload = TMqttBridge::Offline();
  return aClient.Start(s, aError);
}

// The front panel is the user's again once nobody drives the supply from here; keys that were
// locked before serve began stay as they were.
int GiveBackKeys(TCliContext& aContext, const TServedSupply& aSupply) {
  if (!aSupply.UnlockDue()) return kExitOk;
  const TCallResult unlock = aContext.Master.WriteOne(Reg::LOCK, 0, TRepeat::Idempotent);
  if (!unlock.Ok()) return ReportFailure("unlocking the keys", unlock);
  return kExitOk;
}

}  // namespace

// SCPI for lab-automation tools and MQTT for dashboards, over the one supply link, until SIGINT
// or SIGTERM.
int RunServe(TCliContext& aContext) {
  const TCliOptions& o = aContext.Options;
  InstallStopRequest();
  TServedSupply supply(aContext.Master);
  QString error;
  if (!supply.Identify(error)) {
    PrintError(error);
    return kExitFailed;
  }
  TLinkJobs jobs;
  TScpiInstrument instrument(supply);
  std::unique_ptr<TScpiServer> scpi;
  if (o.Scpi) {
    scpi = std::make_unique<TScpiServer>(instrument, jobs, o.IdleTimeoutS);
    const QHostAddress address(o.ListenHost);
    if (!scpi->Listen(address, o.ListenPort, error)) {
      PrintError(error);
      return kExitUsage;
    }
    const QString where = QString("%1:%2").arg(o.ListenHost).arg(scpi->Port());
    if (!address.isLoopback())
      PrintError(QString("listening on %1, beyond this machine: any host that reaches it can "
                         "drive the supply")
                     .arg(where));
    PrintError("SCPI on " + where);
  }
  std::unique_ptr<TMqttClient> client;
  std::unique_ptr<TMqttBridge> bridge;
  if (!o.MqttHost.isEmpty()) {
    client = MakeMosquittoClient();
    const QString prefix =
        o.MqttPrefix.isEmpty() ? DefaultMqttPrefix(supply.Known(), o.Slave) : o.MqttPrefix;
    bridge = std::make_unique<TMqttBridge>(
        supply, jobs, *client, TMqttBridgeSettings{prefix, o.Slave, o.IntervalMs, o.MqttDiscovery});
    if (!StartMqtt(o, *client, *bridge, error)) {
      PrintError(error);
      return kExitUsage;
    }
    bridge->Start();
  }
  // The first signal ends all reading and every job but the one on the link, which may be in
  // the middle of an exchange; the second gives up waiting for it.
  bool stopping = false, unlocking = false;
  SetOnStopSignal([&](int aSignals) {
    if (!stopping) {
      stopping = true;
      if (scpi) scpi->StopReading();
      jobs.Stop();
    }
    // A second signal; when the way out is already at the unlock, it ends right after it.
    if (aSignals < 2 || unlocking) return;
    unlocking = true;
    const int status = GiveBackKeys(aContext, supply);
    std::fflush(nullptr);
    std::_Exit(status);
  });
  while (!StopRequested()) PauseUnlessStopped(60000);
  if (bridge) bridge->Stop();
  unlocking = true;
  const int status = GiveBackKeys(aContext, supply);
  aContext.Master.Close();
  SetOnStopSignal({});
  return status;
}
