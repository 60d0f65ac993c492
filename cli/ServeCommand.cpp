#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/MqttService.h"
#include "cli/ScpiInstrument.h"
#include "cli/ScpiServer.h"
#include "cli/ServedSupply.h"
#include "cli/StopRequest.h"
#include "core/RegisterMap.h"

#include <QHostAddress>

#include <memory>

namespace {
// Offline said and the broker left within this, whatever the broker does.
constexpr int kMqttStopBudgetMs = 1500;
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
    scpi = std::make_unique<TScpiServer>(instrument, jobs);
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
  while (!StopRequested()) PauseUnlessStopped(60000);
  if (mqtt) mqtt->Hold();
  // The front panel is the user's again once nobody drives the supply from here: first, since
  // leaving a broker that does not answer takes the rest of the time.
  const TCallResult unlock = aContext.Master.WriteOne(Reg::LOCK, 0, TRepeat::Idempotent);
  if (mqtt) mqtt->Stop(kMqttStopBudgetMs);
  aContext.Master.Close();
  if (!unlock.Ok()) return ReportFailure("unlocking the keys", unlock);
  return mqtt ? mqtt->ExitCode() : kExitOk;
}
