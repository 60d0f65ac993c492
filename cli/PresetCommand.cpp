#include "core/RegisterMap.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Units.h"

#include <QJsonObject>

int RunPreset(TCliContext& aContext) {
  const TCliOptions& o = aContext.Options;
  const TCallResult r =
      aContext.Master.WriteOne(RequestSpec(TRequestKind::WriteMemNum).Start, o.Preset, TRepeat::Idempotent);
  if (!r.Ok()) return ReportFailure("preset", r);
  if (o.Json)
    PrintJson({{"preset", PresetName(o.Preset)}});
  else
    PrintLine("Preset " + PresetName(o.Preset) + " active");
  return kExitOk;
}
