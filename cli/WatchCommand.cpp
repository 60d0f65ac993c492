#include "core/RegisterMap.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/CsvLog.h"
#include "cli/Readout.h"
#include "cli/StopRequest.h"
#include "cli/SupplyIdentity.h"
#include "cli/Units.h"

#include <QElapsedTimer>
#include <QJsonObject>

#include <memory>

namespace {

const QStringList kHeader{"time",       "set_voltage_V",   "set_current_A", "voltage_V",
                          "current_A",  "power_W",         "mode",          "output",
                          "protection", "input_voltage_V", "event"};

QStringList CsvRow(const QString& aTime, const TCurrentSet& d) {
  return {aTime,
          VoltsText(d.USET),
          AmpsText(d.ISET),
          VoltsText(d.UOUT),
          AmpsText(d.IOUT),
          WattsText(OutputPower(d)),
          ModeText(d),
          OutputStateText(d),
          ProtectionOf(d),
          VoltsText(d.UIN),
          QString()};
}

// A row without values that marks where the readings stopped or started again.
QStringList EventRow(const QString& aTime, const QString& aEvent) {
  QStringList row(kHeader.size());
  row.first() = aTime;
  row.last() = aEvent;
  return row;
}

class TWatch {
 public:
  explicit TWatch(TCliContext& aContext) : fContext(aContext), fOptions(aContext.Options) {}

  int Run() {
    if (!fOptions.CsvFile.isEmpty()) {
      fCsv = std::make_unique<TCsvLog>(fOptions.CsvFile, kHeader);
      if (!fCsv->Error().isEmpty()) {
        PrintError(fCsv->Error());
        return fCsv->Unusable() ? kExitUsage : kExitFailed;
      }
    }
    const TCallResult id = IdentifySupply(fContext.Master, fSupply);
    if (!id.Ok()) return ReportFailure("identification", id);
    if (!fSupply.KnownModel) {
      PrintError(QString("model %1 is not in the model table: its scaling is unknown")
                     .arg(fSupply.Data.MODEL));
      return kExitFailed;
    }
    int64_t readings = 0;
    InstallStopRequest();
    while (!StopRequested()) {
      QElapsedTimer started;
      started.start();
      if (fLost) TryResume();
      if (!fLost) {
        if (Reading()) {
          if (!WriteReading()) return kExitFailed;
          if (fOptions.Count && ++readings >= *fOptions.Count) return kExitOk;
        } else if (fCsv && !fCsv->Error().isEmpty()) {
          return kExitFailed;
        }
      }
      const int64_t left = fOptions.IntervalMs - started.elapsed();
      if (left > 0) PauseUnlessStopped(static_cast<int32_t>(left));
    }
    return kExitOk;
  }

 private:
  // One ReadData; a failure starts a gap.
  bool Reading() {
    const TRequestSpec& read = RequestSpec(TRequestKind::ReadData);
    const TCallResult r = fContext.Master.Read(read.Start, read.Count);
    if (r.Ok()) {
      StoreAnswer(fSupply.Data, read.Start, r.Registers);
      return true;
    }
    fLost = true;
    PrintError("connection lost: " + r.Text());
    Mark("connection lost: " + r.Text());
    return false;
  }

  // The supply is identified again before readings go on: it may have restarted, or another
  // one may be on the line now.
  void TryResume() {
    TSupply supply;
    if (!IdentifySupply(fContext.Master, supply).Ok() || !supply.KnownModel) return;
    fSupply = supply;
    fLost = false;
    PrintError("connection resumed: " + fSupply.Caption);
    Mark("connection resumed");
  }

  void Mark(const QString& aEvent) {
    if (fCsv && !fCsv->Write(EventRow(IsoTimeNow(), aEvent))) PrintError(fCsv->Error());
  }

  bool WriteReading() {
    const QString time = IsoTimeNow();
    const TCurrentSet& d = fSupply.Data;
    if (fOptions.Json) {
      QJsonObject o = ReadoutJson(d);
      o.insert("time", time);
      PrintJson(o);
    } else {
      PrintLine(QString("%1  set %2 V %3 A  out %4 V %5 A %6 W  %7 %8  %9")
                    .arg(time, VoltsText(d.USET), AmpsText(d.ISET), VoltsText(d.UOUT),
                         AmpsText(d.IOUT), WattsText(OutputPower(d)), ModeText(d),
                         OutputStateText(d), ProtectionOf(d)));
    }
    if (fCsv && !fCsv->Write(CsvRow(time, d))) {
      PrintError(fCsv->Error());
      return false;
    }
    return true;
  }

  TCliContext& fContext;
  const TCliOptions& fOptions;
  TSupply fSupply;
  std::unique_ptr<TCsvLog> fCsv;
  bool fLost = false;
};

}  // namespace

int RunWatch(TCliContext& aContext) { return TWatch(aContext).Run(); }
