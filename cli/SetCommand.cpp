#include "core/RegisterMap.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/SupplyIdentity.h"
#include "cli/Units.h"

#include <QJsonObject>

#include <optional>

namespace {

// A value as the user typed it, also when it is absurdly large: "31.01", "1e+308".
QString RequestedText(double aValue) { return QString::number(aValue, 'g', 10); }

// Register units of a requested value, or the reason it is refused: above the model's limit.
std::optional<uint32_t> Checked(std::optional<uint32_t> aUnits, int32_t aMax, const QString& aWhat,
                                const QString& aLimitText, const QString& aModel) {
  if (aUnits && *aUnits <= static_cast<uint32_t>(aMax)) return aUnits;
  PrintError(QString("%1 is above the %2 limit of %3; nothing was written")
                 .arg(aWhat, aModel, aLimitText));
  return std::nullopt;
}

}  // namespace

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
  uint32_t uset = supply.Data.USET, iset = supply.Data.ISET;
  if (o.Voltage) {
    const auto units =
        Checked(VoltageUnits(*o.Voltage), ModelUmax, RequestedText(*o.Voltage) + " V",
                VoltsText(ModelUmax) + " V", model);
    if (!units) return kExitUsage;
    uset = *units;
  }
  if (o.Current) {
    const auto units = Checked(CurrentUnits(*o.Current), ModelImax,
                               RequestedText(*o.Current) + " A",
                               AmpsText(ModelImax) + " A", model);
    if (!units) return kExitUsage;
    iset = *units;
  }
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
