#include <gtest/gtest.h>

#include "core/RegisterMap.h"
#include "sim/Supply.h"

namespace kpxsim {
namespace {

SupplyConfig Config(uint16_t model, uint16_t version = 43, IdentityOverrides o = {}, double load = 10.0) {
  return {MakeIdentity(model, version, o), load, std::nullopt};
}

// Writes registers the way a Modbus write does: store, then let the supply react.
void Write(Supply& s, uint16_t start, std::initializer_list<uint16_t> values) {
  uint16_t reg = start;
  for (uint16_t v : values) s.Registers()[reg++] = v;
  s.Written(start, static_cast<uint16_t>(values.size()));
}

uint16_t PresetReg(int preset, int offset) { return static_cast<uint16_t>(Reg::MemoryBlockStart(preset) + offset); }

TEST(SupplyModel, FollowsTheLoadFromConstantVoltageIntoConstantCurrent) {
  Supply s(Config(5005));  // currents in 1 mA
  Write(s, Reg::USET, {500, 1000});
  Write(s, Reg::ONOFF, {1});
  s.Advance(100);
  EXPECT_EQ(s.Reg(Reg::UOUT), 500);
  EXPECT_EQ(s.Reg(Reg::IOUT), 500);  // 5 V over 10 ohm
  EXPECT_EQ(s.Reg(Reg::POWER), 250);
  EXPECT_EQ(s.Reg(Reg::CVCC), 0);
  EXPECT_LT(s.Reg(Reg::UIN), 5600);  // 56 V input sags a little under load
  EXPECT_GT(s.Reg(Reg::UIN), 5500);

  Write(s, Reg::ISET, {300});
  s.Advance(200);
  EXPECT_EQ(s.Reg(Reg::IOUT), 300);
  EXPECT_EQ(s.Reg(Reg::UOUT), 300);
  EXPECT_EQ(s.Reg(Reg::CVCC), 1);

  Write(s, Reg::ONOFF, {0});
  EXPECT_EQ(s.Reg(Reg::UOUT), 0);
  EXPECT_EQ(s.Reg(Reg::IOUT), 0);
  EXPECT_EQ(s.Reg(Reg::UIN), 5600);
}

TEST(SupplyModel, CurrentsOfTenMilliampModelsAndSetPointsWithinRating) {
  Supply s(Config(5020));  // currents in 10 mA
  Write(s, Reg::USET, {1000, 50});
  Write(s, Reg::ONOFF, {1});
  EXPECT_EQ(s.Reg(Reg::IOUT), 50);
  EXPECT_EQ(s.Reg(Reg::UOUT), 500);
  EXPECT_EQ(s.Reg(Reg::CVCC), 1);
  EXPECT_EQ(s.Reg(Reg::POWER), 250);

  Write(s, Reg::USET, {9999, 9999});
  EXPECT_EQ(s.Reg(Reg::USET), 5100);
  EXPECT_EQ(s.Reg(Reg::ISET), 2010);
  Write(s, Reg::MMAX, {0});
  EXPECT_EQ(s.Reg(Reg::MMAX), 1);
  Write(s, Reg::MMAX, {50});
  EXPECT_EQ(s.Reg(Reg::MMAX), 20);
}

struct TripCase {
  const char* Name;
  int Offset;  // into the preset block
  uint16_t Limit;
  uint16_t Code;
};

class SupplyProtection : public ::testing::TestWithParam<TripCase> {};

TEST_P(SupplyProtection, TripsTheOutputWithItsCodeAndSwitchingOnClearsIt) {
  const TripCase& c = GetParam();
  Supply s(Config(5005));
  Write(s, Reg::USET, {500, 1000});  // 5 V, 0.5 A, 2.5 W into the load
  Write(s, PresetReg(0, c.Offset), {c.Limit});
  Write(s, Reg::ONOFF, {1});
  s.Advance(10);
  EXPECT_EQ(s.Reg(Reg::PROTECT), c.Code);
  EXPECT_EQ(s.Reg(Reg::ONOFF), 0);
  EXPECT_EQ(s.Reg(Reg::UOUT), 0);

  Write(s, PresetReg(0, c.Offset), {0});  // limit off
  Write(s, Reg::ONOFF, {1});
  s.Advance(20);
  EXPECT_EQ(s.Reg(Reg::PROTECT), 0);
  EXPECT_EQ(s.Reg(Reg::ONOFF), 1);
}

INSTANTIATE_TEST_SUITE_P(Limits, SupplyProtection,
                         ::testing::Values(TripCase{"OverVoltage", 2, 450, 1},
                                           TripCase{"OverCurrent", 3, 400, 2},
                                           TripCase{"OverPower", 4, 20, 3}),
                         [](const auto& info) { return std::string(info.param.Name); });

TEST(SupplyModel, OverTimeTripsAfterTheMinutesOfThePreset) {
  Supply s(Config(5005));
  Write(s, PresetReg(0, 8), {1});
  Write(s, Reg::ONOFF, {1});
  s.Advance(59'000);
  EXPECT_EQ(s.Reg(Reg::ONOFF), 1);
  s.Advance(60'500);
  EXPECT_EQ(s.Reg(Reg::ONOFF), 0);
  EXPECT_EQ(s.Reg(Reg::PROTECT), 4);
}

TEST(SupplyModel, MemorySelectsThePresetItsSetPointsAndItsLimits) {
  Supply s(Config(5005));
  Write(s, PresetReg(3, 0), {1234, 456, 1000, 0, 0, 2, 1, 0, 0});
  Write(s, PresetReg(4, 0), {700, 800, 600});  // over-voltage limit below its own set voltage
  Write(s, Reg::MEM, {3});
  EXPECT_EQ(s.Reg(Reg::MEM), 3);
  EXPECT_EQ(s.Reg(Reg::USET), 1234);
  EXPECT_EQ(s.Reg(Reg::ISET), 456);
  EXPECT_EQ(s.Reg(PresetReg(3, 6)), 1);  // blocks keep what was written
  Write(s, Reg::ONOFF, {1});
  EXPECT_EQ(s.Reg(Reg::PROTECT), 0);

  Write(s, Reg::MEM, {4});
  s.Advance(10);
  EXPECT_EQ(s.Reg(Reg::PROTECT), 1);

  Write(s, Reg::MEM, {25});
  EXPECT_EQ(s.Reg(Reg::MEM), 0);
  Write(s, Reg::CMD, {Reg::kCmdPresetSaved});
  EXPECT_EQ(s.Reg(Reg::CMD), 0);
}

TEST(SupplyModel, CountersIntegrateOnlyOnFirmwareThatKeepsThem) {
  Supply counting(Config(5005, 43));
  Supply plain(Config(5005, 42));
  for (Supply* s : {&counting, &plain}) {
    Write(*s, Reg::USET, {500, 1000});
    Write(*s, Reg::ONOFF, {1});
    s->Advance(3'600'000);
  }
  EXPECT_EQ(counting.Reg(Reg::TIME_L), 3600);
  EXPECT_EQ(counting.Reg(Reg::AHCNT_L), 50);   // 0.5 A for an hour, 0.01 Ah
  EXPECT_EQ(counting.Reg(Reg::WHCNT_L), 250);  // 2.5 W for an hour, 0.01 Wh
  EXPECT_EQ(plain.Reg(Reg::TIME_L), 0);
  EXPECT_EQ(plain.Reg(Reg::AHCNT_L), 0);

  // Layout B: the reset-counters bit clears them at the next switch-on.
  Write(counting, Reg::ONOFF, {0});
  counting.Advance(3'700'000);
  EXPECT_EQ(counting.Reg(Reg::TIME_L), 3600);
  Write(counting, Reg::PARAM, {Reg::kParamResetCounters});
  Write(counting, Reg::ONOFF, {1});
  counting.Advance(3'710'000);
  EXPECT_EQ(counting.Reg(Reg::TIME_L), 10);
}

TEST(SupplyModel, TemperatureRisesWithPowerOnlyWhereThereIsASensor) {
  Supply sensor(Config(5020, 43, {}, 2.0));
  Supply none(Config(5005, 43, {}, 2.0));
  for (Supply* s : {&sensor, &none}) {
    Write(*s, Reg::USET, {1000, 5100});
    Write(*s, Reg::ONOFF, {1});
    s->Advance(60'000);
  }
  EXPECT_GT(sensor.Reg(Reg::TMP), 30);
  EXPECT_EQ(none.Reg(Reg::TMP), 25);
}

TEST(SupplyModel, LockFollowsWritesUnlessHeldOpen) {
  Supply s(Config(5005));
  Write(s, Reg::LOCK, {1});
  EXPECT_EQ(s.Reg(Reg::LOCK), 1);
  s.Unlock();
  EXPECT_EQ(s.Reg(Reg::LOCK), 0);
  s.HoldUnlocked(true);
  Write(s, Reg::LOCK, {1});
  EXPECT_EQ(s.Reg(Reg::LOCK), 0);
  s.HoldUnlocked(false);
  Write(s, Reg::LOCK, {1});
  EXPECT_EQ(s.Reg(Reg::LOCK), 1);
}

TEST(SupplyModel, HeldProtectionRefusesTheOutput) {
  Supply s(Config(5005));
  s.HoldTrip(uint16_t{10});
  Write(s, Reg::ONOFF, {1});
  EXPECT_EQ(s.Reg(Reg::ONOFF), 0);
  EXPECT_EQ(s.Reg(Reg::PROTECT), 10);
  s.HoldTrip(std::nullopt);
  Write(s, Reg::ONOFF, {1});
  EXPECT_EQ(s.Reg(Reg::ONOFF), 1);
  EXPECT_EQ(s.Reg(Reg::PROTECT), 0);
}

struct ClassCase {
  const char* Name;
  uint16_t Version;
  IdentityOverrides Overrides;
  FirmwareClass Class;
};

class SupplyIdentity : public ::testing::TestWithParam<ClassCase> {};

TEST_P(SupplyIdentity, RegistersProduceTheFirmwareClass) {
  const ClassCase& c = GetParam();
  Supply s(Config(3005, c.Version, c.Overrides));
  EXPECT_EQ(s.Class(), c.Class);
  const Identity id{s.Reg(Reg::MODEL), s.Reg(Reg::VERSION), s.Reg(Reg::PVER),
                    s.Reg(Reg::MGIC),  s.Reg(Reg::DVID),    s.Reg(Reg::STATE)};
  EXPECT_EQ(ClassOf(id), c.Class) << "as a client reading the registers would classify it";
  EXPECT_EQ(s.Reg(Reg::MODEL), 3005);
  EXPECT_EQ(s.Reg(Reg::VERSION), c.Version);

  // Identification does not change by being written.
  Write(s, Reg::MODEL, {5005});
  Write(s, Reg::MGIC, {1, 2, 3, 4, 5, 6});
  EXPECT_EQ(s.Reg(Reg::MODEL), 3005);
  EXPECT_EQ(ClassOf({s.Reg(Reg::MODEL), s.Reg(Reg::VERSION), s.Reg(Reg::PVER), s.Reg(Reg::MGIC),
                     s.Reg(Reg::DVID), s.Reg(Reg::STATE)}),
            c.Class);
}

INSTANTIATE_TEST_SUITE_P(
    Classes, SupplyIdentity,
    ::testing::Values(ClassCase{"v18", 18, {}, FirmwareClass::Ver18},
                      ClassCase{"v36", 36, {}, FirmwareClass::Ver36},
                      ClassCase{"v40", 40, {}, FirmwareClass::Ver40},
                      ClassCase{"v41", 41, {}, FirmwareClass::Ver40},
                      ClassCase{"v41magic", 41, {.Mgic = 19082}, FirmwareClass::Ver4Z},
                      ClassCase{"v42", 42, {}, FirmwareClass::Ver42},
                      ClassCase{"v43", 43, {.Pver = 43}, FirmwareClass::Ver43},
                      ClassCase{"v43new", 43, {.Pver = 44}, FirmwareClass::VerNew},
                      ClassCase{"v43wide", 0x102B, {}, FirmwareClass::Ver43},
                      ClassCase{"foreignDvid", 43, {.Dvid = 5005}, FirmwareClass::Ver18}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SupplyCalibration, FixShowsAtOnceSaveKeepsItExitRestores) {
  Supply s(Config(5005));
  const uint16_t uout2 = Reg::kCalibBase + 4 * 3;
  const uint16_t before = s.Reg(uout2);
  Write(s, Reg::CLB_CMD, {1, 4, 0, 0});             // start Uout2
  Write(s, Reg::CLB_CMD, {2, 4, 0x1170, 0x0001});   // fix 70000
  EXPECT_EQ(s.Calib().Mode(), CalibMode::Fix);
  EXPECT_EQ(s.Reg(uout2), 0x1170);
  EXPECT_EQ(s.Reg(uout2 + 1), 1);
  Write(s, Reg::CLB_CMD, {3, 0, 0, 0});  // save
  Write(s, Reg::CLB_CMD, {1, 4, 0, 0});
  Write(s, Reg::CLB_CMD, {2, 4, 5, 0});
  Write(s, Reg::CLB_CMD, {4, 0, 0, 0});  // exit without saving
  EXPECT_EQ(s.Calib().Mode(), CalibMode::None);
  EXPECT_EQ(s.Reg(uout2), 0x1170);
  EXPECT_NE(s.Reg(uout2), before);

  // Only bits 0 to 6 carry the command; an index outside 1..7 fixes nothing.
  Write(s, Reg::CLB_CMD, {0x80 | 2, 9, 77, 0});
  EXPECT_EQ(s.Calib().Mode(), CalibMode::Fix);
  EXPECT_EQ(s.Reg(uout2), 0x1170);
}

TEST(SupplyMap, HoleBetweenTheLiveBlockAndThePresetsIsOutside) {
  EXPECT_TRUE(Supply::InMap(0, 48));
  EXPECT_FALSE(Supply::InMap(40, 9));
  EXPECT_FALSE(Supply::InMap(79, 1));
  EXPECT_TRUE(Supply::InMap(80, 125));
  EXPECT_TRUE(Supply::InMap(400, 28));
  EXPECT_FALSE(Supply::InMap(400, 29));
  EXPECT_FALSE(Supply::InMap(0, 0));
}

}  // namespace
}  // namespace kpxsim
