#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/ScpiInstrument.h"
#include "cli/ScpiServer.h"
#include "cli/ServedSupply.h"
#include "cli/StopRequest.h"
#include "core/RegisterMap.h"

#include <QHostAddress>

// SCPI for lab-automation tools over the one supply link, until SIGINT or SIGTERM.
int RunServe(TCliContext& aContext) {
  const TCliOptions& o = aContext.Options;
  InstallStopRequest();
  TServedSupply supply(aContext.Master);
  QString error;
  if (!supply.Identify(error)) {
    PrintError(error);
    return kExitFailed;
  }
  TScpiInstrument instrument(supply);
  TLinkJobs jobs;
  TScpiServer server(instrument, jobs);
  const QHostAddress address(o.ListenHost);
  if (!server.Listen(address, o.ListenPort, error)) {
    PrintError(error);
    return kExitUsage;
  }
  const QString where = QString("%1:%2").arg(o.ListenHost).arg(server.Port());
  if (!address.isLoopback())
    PrintError(QString("listening on %1, beyond this machine: any host that reaches it can drive "
                       "the supply")
                   .arg(where));
  PrintError("SCPI on " + where);
  while (!StopRequested()) PauseUnlessStopped(60000);
  // The front panel is the user's again once nobody drives the supply from here.
  const TCallResult unlock = aContext.Master.WriteOne(Reg::LOCK, 0);
  aContext.Master.Close();
  if (!unlock.Ok()) return ReportFailure("unlocking the keys", unlock);
  return kExitOk;
}
