#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/MqttService.h"
#include "cli/ScpiInstrument.h"
#include "cli/ScpiServer.h"
#include "cli/ServedSupply.h"
#include "cli/StopRequest.h"
#include "core/RegisterMap.h"

#include <QHostAddress>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {
// Offline said and the broker left within this, whatever the broker does.
constexpr int kMqttStopBudgetMs = 1500;

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
  std::unique_ptr<TMqttService> mqtt;
  if (!o.MqttHost.isEmpty()) {
    mqtt = std::make_unique<TMqttService>(o, supply, jobs);
    if (!mqtt->Start(error)) {
      PrintError(error);
      return kExitUsage;
    }
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
  if (mqtt) mqtt->Hold();
  // The keys first, since leaving a broker that does not answer takes the rest of the time.
  unlocking = true;
  const int status = GiveBackKeys(aContext, supply);
  if (mqtt) mqtt->Stop(kMqttStopBudgetMs);
  aContext.Master.Close();
  SetOnStopSignal({});
  if (status != kExitOk) return status;
  return mqtt ? mqtt->ExitCode() : kExitOk;
}
