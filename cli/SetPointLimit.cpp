#include "cli/SetPointLimit.h"

#include "cli/Units.h"
#include "core/UtilUnit.h"

namespace {

// A value as the user gave it, also when it is absurdly large: "31.01", "1e+308".
QString RequestedText(double aValue) { return QString::number(aValue, 'g', 10); }

TSetPointCheck Checked(std::optional<uint32_t> aUnits, int32_t aMax, const QString& aWhat,
                       const QString& aLimitText, const QString& aModel) {
  if (aUnits && *aUnits <= static_cast<uint32_t>(aMax)) return {aUnits, {}};
  return {std::nullopt, QString("%1 is above the %2 limit of %3; nothing was written")
                            .arg(aWhat, aModel, aLimitText)};
}

}  // namespace

TSetPointCheck CheckVoltage(double aVolts, const QString& aModel) {
  return Checked(VoltageUnits(aVolts), ModelUmax, RequestedText(aVolts) + " V",
                 VoltsText(ModelUmax) + " V", aModel);
}

TSetPointCheck CheckCurrent(double aAmps, const QString& aModel) {
  return Checked(CurrentUnits(aAmps), ModelImax, RequestedText(aAmps) + " A",
                 AmpsText(ModelImax) + " A", aModel);
}
