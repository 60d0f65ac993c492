#include <gtest/gtest.h>

#include "core/ModelIdentity.h"
#include "core/RegisterMap.h"

namespace {

TCurrentSet Registers(uint32_t model, uint32_t version, uint32_t pver = 0, uint32_t mgic = 0,
                      uint32_t state = 0) {
  TCurrentSet data{};
  data.MODEL = model;
  data.DVID = model;
  data.VERSION = version;
  data.PVER = pver;
  data.MGIC = mgic;
  data.STATE = state;
  return data;
}

TModel Identify(const TCurrentSet& data) {
  TModel model{};
  SetupModelLimits(data.MODEL, model, false);
  DetectFirmwareFeatures(data, model);
  return model;
}

}  // namespace

TEST(ModelIdentity, VersionTextSplitsAtTheFirstDigit) {
  EXPECT_EQ(VersionText(43), "4.3");
  EXPECT_EQ(VersionText(115), "1.15");
  EXPECT_EQ(VersionText(5), "5.0");
  EXPECT_EQ(VersionText(0x102B), "4.3");  // the top four bits are not part of the number
  EXPECT_EQ(VersionText(0), "0.0");
  EXPECT_EQ(VersionText(0xF000), "0.0");
}

TEST(ModelIdentity, CaptionCarriesFamilyModelVersionAndSuffixes) {
  EXPECT_EQ(ModelCaption(5005, 43, 0x06), "KPX5005 ver. 4.3GT");
  EXPECT_EQ(ModelCaption(5005, 43, 0x16), "QH5005 ver. 4.3GT");
  EXPECT_EQ(ModelCaption(5005, 42, 0x10), "KPX5005 ver. 4.2");  // QH only from 43
  EXPECT_EQ(ModelCaption(3005, 36, 0x06), "KPX3005 ver. 3.6");  // suffixes only from 42
  EXPECT_EQ(ModelCaption(8005, 0x102B, 0x04), "KPX8005 ver. 4.3G");
}

TEST(ModelIdentity, SetupModelAppliesTheTableAndKeepsLimitsForUnknownModels) {
  ResetModelVariables();
  TModel model{};
  model.Version = TVersion::ver_43;
  model.Counters = true;
  EXPECT_FALSE(SetupModelLimits(3005, model, true));
  EXPECT_EQ(CurrentDivider, 10);
  EXPECT_EQ(ModelImax, 5100);
  EXPECT_EQ(model.Version, TVersion::ver_18);
  EXPECT_FALSE(model.Counters);
  EXPECT_TRUE(model.RCNT);
  EXPECT_EQ(model.BacklightMax, 5);
  EXPECT_TRUE(SetupModelLimits(5015, model, false));
  EXPECT_TRUE(model.TempSensorEnable);
  EXPECT_FALSE(SetupModelLimits(4242, model, false));
  EXPECT_EQ(ModelUmax, 5100);  // 5015's limits stay
  EXPECT_EQ(ModelImax, 1510);
  EXPECT_EQ(CurrentDivider, 1);
  EXPECT_FALSE(model.TempSensorEnable);
  ResetModelVariables();
}

TEST(ModelIdentity, EachFirmwareClassFromItsRegisters) {
  EXPECT_EQ(Identify(Registers(5005, 18)).Version, TVersion::ver_18);
  EXPECT_EQ(Identify(Registers(5005, 36)).Version, TVersion::ver_36);
  EXPECT_EQ(Identify(Registers(5005, 40)).Version, TVersion::ver_40);
  EXPECT_EQ(Identify(Registers(5005, 41)).Version, TVersion::ver_40);
  EXPECT_EQ(Identify(Registers(5005, 41, 0, 19082)).Version, TVersion::ver_4Z);
  EXPECT_EQ(Identify(Registers(5005, 42)).Version, TVersion::ver_42);
  EXPECT_EQ(Identify(Registers(5005, 43, 43)).Version, TVersion::ver_43);
  EXPECT_EQ(Identify(Registers(5005, 43, 44)).Version, TVersion::ver_New);
  EXPECT_EQ(Identify(Registers(5005, 0x102B, 43)).Version, TVersion::ver_43);
  TCurrentSet foreign = Registers(5005, 43, 43);
  foreign.DVID = 3005;
  EXPECT_EQ(Identify(foreign).Version, TVersion::ver_18);
  // PVER below 43 leaves the class as it was.
  TModel model{};
  model.Version = TVersion::ver_42;
  EXPECT_EQ(ClassifyFirmware(Registers(5005, 43, 12), model.Version), TVersion::ver_42);
}

TEST(ModelIdentity, FeaturesFollowTheClassAndTheRegisterLayout) {
  // Layout A: each flag is bit 0 of its own register.
  TCurrentSet a = Registers(5015, 36, 1);
  a.BCKL = 0x8001;
  a.d25 = 1;
  a.PARAM = 0x8001;
  TModel ma = Identify(a);
  EXPECT_TRUE(ma.RCNT && ma.CF && ma.SMART && ma.BSRC);
  EXPECT_TRUE(ma.Temp);  // the model's sensor decides below ver_42
  EXPECT_FALSE(ma.Counters);
  EXPECT_TRUE(ma.BatterySourceEnable);
  EXPECT_EQ(ma.BacklightMax, 5);
  // Layout B: bits of PARAM; STATE bits 0..2 show the temperature.
  TCurrentSet b = Registers(5005, 43, 43, 0, 0x2);
  b.PARAM = Reg::kParamResetCounters | Reg::kParamBatterySource;
  b.BCKL = 1;  // kept, not a flag on layout B
  TModel mb = Identify(b);
  EXPECT_TRUE(mb.RCNT && mb.BSRC);
  EXPECT_FALSE(mb.CF || mb.SMART);
  EXPECT_TRUE(mb.Temp);
  EXPECT_TRUE(mb.Counters);
  EXPECT_EQ(mb.BacklightMax, 6);
  EXPECT_FALSE(HighTemperatureCalibrationOffered(b, mb));
  // ver_4Z keeps counters but offers no battery source.
  TModel z = Identify(Registers(5005, 41, 0, 19082));
  EXPECT_TRUE(z.Counters);
  EXPECT_FALSE(z.BatterySourceEnable);
}

TEST(ModelIdentity, AForeignGlobalBlockChangesOnlyTheClass) {
  TCurrentSet data = Registers(5005, 43, 43);
  data.DVID = 1;
  data.PARAM = 0xF;
  TModel model{};
  SetupModelLimits(5005, model, false);
  model.Version = TVersion::ver_43;
  EXPECT_FALSE(DetectFirmwareFeatures(data, model));
  EXPECT_EQ(model.Version, TVersion::ver_18);
  EXPECT_FALSE(model.RCNT || model.BSRC || model.CF || model.SMART || model.Counters);
}

TEST(ModelIdentity, VersionNoticesPerClass) {
  EXPECT_TRUE(VersionNoticeDue(TVersion::ver_4Z));
  EXPECT_FALSE(VersionNoticeText(TVersion::ver_4Z));  // due, but nothing to say
  EXPECT_FALSE(VersionNoticeDue(TVersion::ver_43));
  EXPECT_TRUE(VersionNoticeText(TVersion::ver_36)->startsWith("The power supply firmware is outdated."));
  EXPECT_TRUE(VersionNoticeText(TVersion::ver_New)->contains(QChar(13)));
  EXPECT_TRUE(ReadsCountersOnConnect(41));
  EXPECT_FALSE(ReadsCountersOnConnect(42));
  EXPECT_TRUE(ReadsCountersOnConnect(0x102B));  // the whole register counts here
}
