#include "core/ModelIdentity.h"

#include "core/RegisterMap.h"

QString VersionText(uint32_t versionRegister) {
  const uint32_t v = Reg::VersionNumber(versionRegister);
  if (v == 0) return "0.0";
  uint32_t power = 1;  // the smallest power of ten greater than v, divided by ten
  while (power * 10 <= v) power *= 10;
  return QString("%1.%2").arg(v / power).arg(v % power);
}

QString ModelCaption(uint32_t model, uint32_t versionRegister, uint32_t state) {
  const uint32_t v = Reg::VersionNumber(versionRegister);
  const QString prefix = (v >= 43 && (state & 0x10)) ? "QH" : "KPX";
  QString caption = prefix + QString::number(model) + " ver. " + VersionText(versionRegister);
  if (v >= 42) {
    if (state & 0x4) caption += 'G';
    if (state & 0x2) caption += 'T';
  }
  return caption;
}

bool SetupModelLimits(uint32_t model, TModel& fModel, bool resetCountersChecked) {
  bool sensor = false;
  if (const auto limits = FindModel(model)) {
    ModelUmax = limits->Umax;
    ModelImax = limits->Imax;
    ModelPmax = limits->Pmax;
    CurrentDivider = limits->CurrentDivider;
    sensor = limits->TempSensor;
  }
  fModel.Version = TVersion::ver_18;
  fModel.Temp = false;
  fModel.TempSensorEnable = sensor;
  fModel.Counters = false;
  fModel.BSRC = false;
  fModel.RCNT = resetCountersChecked;
  fModel.BatterySourceEnable = false;
  fModel.BacklightMax = 5;
  return sensor;
}

TVersion ClassifyFirmware(const TCurrentSet& data, TVersion current) {
  const uint32_t v = Reg::VersionNumber(data.VERSION);
  if (v < 36 || data.DVID != data.MODEL) return TVersion::ver_18;
  if (v < 40) return TVersion::ver_36;
  if (v == 40) return TVersion::ver_40;
  if (v == 41) return data.MGIC == Reg::kMagicVer4Z ? TVersion::ver_4Z : TVersion::ver_40;
  if (v == 42) return TVersion::ver_42;
  if (data.PVER == 43) return TVersion::ver_43;
  if (data.PVER > 43) return TVersion::ver_New;
  return current;
}

bool DetectFirmwareFeatures(const TCurrentSet& data, TModel& fModel) {
  fModel.Version = ClassifyFirmware(data, fModel.Version);
  if (Reg::VersionNumber(data.VERSION) < 36 || data.DVID != data.MODEL) return false;
  const TVersion version = fModel.Version;
  fModel.Temp = UsesLayoutB(version) ? (data.STATE & 7) != 0 : fModel.TempSensorEnable;
  fModel.Counters = version == TVersion::ver_4Z || version == TVersion::ver_43 ||
                    version == TVersion::ver_New;
  if (UsesLayoutB(version)) {
    fModel.BSRC = data.PARAM & Reg::kParamBatterySource;
    fModel.RCNT = data.PARAM & Reg::kParamResetCounters;
    fModel.CF = data.PARAM & Reg::kParamFahrenheit;
    fModel.SMART = data.PARAM & Reg::kParamSmart;
  } else {
    fModel.BSRC = data.PARAM & 1;
    fModel.RCNT = data.PVER & 1;
    fModel.CF = data.BCKL & 1;
    fModel.SMART = data.d25 & 1;
  }
  fModel.BatterySourceEnable = version != TVersion::ver_18 && version != TVersion::ver_4Z;
  fModel.BacklightMax = UsesLayoutB(version) ? 6 : 5;
  return true;
}

bool HighTemperatureCalibrationOffered(const TCurrentSet& data, const TModel& fModel) {
  return UsesLayoutB(fModel.Version) ? (data.STATE & 1) != 0 : fModel.TempSensorEnable;
}

bool VersionNoticeDue(TVersion version) {
  return version < TVersion::ver_43 || version == TVersion::ver_New;
}

std::optional<QString> VersionNoticeText(TVersion version) {
  if (version < TVersion::ver_43 && version != TVersion::ver_4Z)
    return QString("The power supply firmware is outdated. To take advantage of all the features") +
           QChar(13) + "of the program, update the firmware of the power supply.";
  if (version == TVersion::ver_New)
    return QString("This version of Kelvora is outdated.") + QChar(13) +
           "It is advisable to install the latest version.";
  return std::nullopt;
}
