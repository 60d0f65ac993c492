#include "cli/Commands.h"
#include "cli/Console.h"

#include <QJsonArray>
#include <QJsonObject>

// Raw holding registers, for what the named commands do not cover.

int RunRead(TCliContext& aContext) {
  const TCliOptions& o = aContext.Options;
  const TCallResult r = aContext.Master.Read(o.Address, o.RegisterCount);
  if (!r.Ok()) return ReportFailure("read", r);
  if (o.Json) {
    QJsonArray values;
    for (uint16_t v : r.Registers) values.append(v);
    PrintJson({{"address", o.Address}, {"values", values}});
  } else {
    for (size_t i = 0; i < r.Registers.size(); ++i)
      PrintLine(QString("%1: %2").arg(o.Address + i).arg(r.Registers[i]));
  }
  return kExitOk;
}

int RunWrite(TCliContext& aContext) {
  const TCliOptions& o = aContext.Options;
  // Any register, the command register too: a write whose answer was lost is not sent again.
  const TCallResult r = o.Values.size() == 1
                            ? aContext.Master.WriteOne(o.Address, o.Values[0], TRepeat::Once)
                            : aContext.Master.WriteMany(o.Address, o.Values, TRepeat::Once);
  if (r.Unconfirmed()) {
    PrintError("write: " + r.Text() + "; the write may have taken effect: read the register" +
               (o.Values.size() == 1 ? "" : "s") + " back before writing again");
    return kExitFailed;
  }
  if (!r.Ok()) return ReportFailure("write", r);
  if (o.Json)
    PrintJson({{"address", o.Address}, {"written", static_cast<int>(o.Values.size())}});
  else
    PrintLine(QString("Wrote %1 register(s) from %2").arg(o.Values.size()).arg(o.Address));
  return kExitOk;
}
