#include "cli/Readout.h"

#include "core/ProtectionText.h"
#include "cli/Units.h"

QString OutputStateText(const TCurrentSet& aData) { return aData.ONOFF ? "on" : "off"; }
QString ModeText(const TCurrentSet& aData) { return aData.CVCC ? "CC" : "CV"; }
// Code 0 reads "Error" on the panel with its lamp off: nothing has tripped.
QString ProtectionOf(const TCurrentSet& aData) {
  return aData.PROTECT ? ProtectionText(aData.PROTECT) : QString("none");
}
uint32_t OutputPower(const TCurrentSet& aData) { return PowerOf(aData.UOUT, aData.IOUT); }

QJsonObject ReadoutJson(const TCurrentSet& aData) {
  return {{"set_voltage", Volts(aData.USET)},
          {"set_current", Amps(aData.ISET)},
          {"output", aData.ONOFF != 0},
          {"voltage", Volts(aData.UOUT)},
          {"current", Amps(aData.IOUT)},
          {"power", Watts(OutputPower(aData))},
          {"mode", ModeText(aData)},
          {"protection", ProtectionOf(aData)},
          {"protection_code", static_cast<int>(aData.PROTECT)},
          {"input_voltage", Volts(aData.UIN)}};
}
