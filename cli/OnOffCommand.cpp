#include "core/RegisterMap.h"
#include "cli/Commands.h"
#include "cli/Console.h"

#include <QJsonObject>

// Output and key lock are single writes of 1 or 0, as the program makes them.
int RunOnOff(TCliContext& aContext) {
  const TCliOptions& o = aContext.Options;
  const bool output = o.Command == TCliCommand::Output;
  const uint16_t reg = output ? RequestSpec(TRequestKind::WriteOnOff).Start
                              : RequestSpec(TRequestKind::LockKeys).Start;
  const QString name = output ? "output" : "lock";
  const TCallResult r = aContext.Master.WriteOne(reg, o.On ? 1 : 0, TRepeat::Idempotent);
  if (!r.Ok()) return ReportFailure(name, r);
  if (o.Json)
    PrintJson({{name, o.On}});
  else
    PrintLine(QString("%1 %2").arg(output ? "Output" : "Key lock", o.On ? "on" : "off"));
  return kExitOk;
}
