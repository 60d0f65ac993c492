#include "core/RegisterMap.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/SupplyIdentity.h"
#include "cli/SetPointLimit.h"
#include "cli/Units.h"

#include <QJsonObject>

int RunSet(TCliContext& aContext) {
  const TCliOptions& o = aContext.Options;
  TSupply supply;
  const TCallResult id = IdentifySupply(aContext.Master, supply);
  if (!id.Ok()) return ReportFailure("identification", id);
  if (!supply.KnownModel) {
    PrintError(
        QString("model %1 is not in the model table: its limits are unknown; nothing was written")
            .arg(supply.Data.MODEL));
    return kExitFailed;
  }
  const QString model = supply.Caption.section(QChar(0x20), 0, 0);  // "KPX5005"
  const TSetPointCheck voltage =
      o.Voltage ? CheckVoltage(*o.Voltage, model) : TSetPointCheck{supply.Data.USET, {}};
  const TSetPointCheck current =
      o.Current ? CheckCurrent(*o.Current, model) : TSetPointCheck{supply.Data.ISET, {}};
  for (const TSetPointCheck& c : {voltage, current}) {
    if (c.Units) continue;
    PrintError(c.Refusal);
    return kExitUsage;
  }
  const uint32_t uset = *voltage.Units, iset = *current.Units;
  // The program's set-point write carries both values; the one not asked for is written back
  // as the connect read found it.
  const TRequestSpec& write = RequestSpec(TRequestKind::WriteSetData);
  const TCallResult r = aContext.Master.WriteMany(
      write.Start, {static_cast<uint16_t>(uset), static_cast<uint16_t>(iset)}, TRepeat::Idempotent);
  if (!r.Ok()) return ReportFailure("set", r);
  if (o.Json)
    PrintJson({{"set_voltage", Volts(uset)}, {"set_current", Amps(iset)}});
  else
    PrintLine(QString("Set %1 V  %2 A").arg(VoltsText(uset), AmpsText(iset)));
  return kExitOk;
}
