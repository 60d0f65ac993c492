#include "core/ModelIdentity.h"
#include "core/RegisterMap.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/Readout.h"
#include "cli/SupplyIdentity.h"
#include "cli/Units.h"

#include <QJsonValue>

namespace {

struct TCounters {
  uint32_t Seconds, AmpereHours, WattHours;  // s, 0.01 Ah, 0.01 Wh
};

uint32_t Long(uint16_t aLow, uint16_t aHigh) { return aLow | static_cast<uint32_t>(aHigh) << 16; }

TCounters CountersOf(const TCurrentSet& d) {
  return {Long(d.TIME_L, d.TIME_H), Long(d.AHCNT_L, d.AHCNT_H), Long(d.WHCNT_L, d.WHCNT_H)};
}

void PrintText(const TSupply& s) {
  const TCurrentSet& d = s.Data;
  const auto row = [](const char* aName, const QString& aValue) {
    PrintLine(QString("%1%2").arg(aName, -13).arg(aValue));
  };
  row("Model", QString("%1 (%2)").arg(s.Caption, FirmwareClassName(s.Model.Version)));
  row("Set", QString("%1 V  %2 A").arg(VoltsText(d.USET), AmpsText(d.ISET)));
  row("Output", QString("%1  %2 V  %3 A  %4 W  %5")
                    .arg(OutputStateText(d), VoltsText(d.UOUT), AmpsText(d.IOUT),
                         WattsText(OutputPower(d)), ModeText(d)));
  row("Protection", ProtectionOf(d));
  row("Input", VoltsText(d.UIN) + " V");
  row("Key lock", d.LOCK ? "locked" : "unlocked");
  row("Temperature",
      s.Model.Temp ? QString("%1 °C").arg(d.TMP) : QString("not shown by this model"));
  if (s.Model.Counters) {
    const TCounters c = CountersOf(d);
    row("Counters", QString("%1  %2 Ah  %3 Wh")
                        .arg(DurationText(c.Seconds), DecimalText(c.AmpereHours, 2),
                             DecimalText(c.WattHours, 2)));
  } else {
    row("Counters", "kept by the program only");
  }
  row("Preset", PresetName(d.MEM));
}

void PrintJsonStatus(const TSupply& s) {
  const TCurrentSet& d = s.Data;
  QJsonObject o = ReadoutJson(d);
  o.insert("model", static_cast<int>(d.MODEL));
  o.insert("caption", s.Caption);
  o.insert("version", VersionText(d.VERSION));
  o.insert("firmware_class", FirmwareClassName(s.Model.Version));
  o.insert("current_decimals", CurrentDecimals());
  o.insert("key_lock", d.LOCK != 0);
  o.insert("temperature_c", s.Model.Temp ? QJsonValue(static_cast<int>(d.TMP)) : QJsonValue());
  if (s.Model.Counters) {
    const TCounters c = CountersOf(d);
    o.insert("counters", QJsonObject{{"time_s", static_cast<qint64>(c.Seconds)},
                                     {"ah", c.AmpereHours / 100.0},
                                     {"wh", c.WattHours / 100.0}});
  } else {
    o.insert("counters", QJsonValue());
  }
  o.insert("preset", PresetName(d.MEM));
  PrintJson(o);
}

}  // namespace

int RunStatus(TCliContext& aContext) {
  TSupply supply;
  TCallResult r = IdentifySupply(aContext.Master, supply);
  if (!r.Ok()) return ReportFailure("identification", r);
  if (!supply.KnownModel) {
    PrintError(QString("model %1 is not in the model table: its scaling is unknown")
                   .arg(supply.Data.MODEL));
    return kExitFailed;
  }
  // The supply's own counters where it keeps them, else just the active preset.
  const TRequestSpec& more = RequestSpec(supply.Model.Counters ? TRequestKind::ReadMemNumAndCounters
                                                               : TRequestKind::ReadMemNum);
  r = aContext.Master.Read(more.Start, more.Count);
  if (!r.Ok())
    return ReportFailure(supply.Model.Counters ? "reading the counters" : "reading the active preset", r);
  StoreAnswer(supply.Data, more.Start, r.Registers);
  if (aContext.Options.Json)
    PrintJsonStatus(supply);
  else
    PrintText(supply);
  return kExitOk;
}
