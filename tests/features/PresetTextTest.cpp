// Set-value texts, captions, the charge level and the enable table of the preset fields.
#include <gtest/gtest.h>

#include "features/PresetText.h"

namespace {
const QString CR = QString(QChar(13));
}

TEST(PresetText, SetValuesInVoltageAndMilliampereStyle) {
  EXPECT_EQ(FormatSetValue(2345, false), "23.45");
  EXPECT_EQ(FormatSetValue(2345, true), "2.345");
  EXPECT_EQ(FormatSetValue(500, false), " 5.00");
  EXPECT_EQ(FormatSetValue(500, true), "0.500");
  EXPECT_EQ(FormatSetValue(5, true), "0.005");
  EXPECT_EQ(FormatSetValue(0, false), " 0.00");
  EXPECT_EQ(FormatSetValue(9999, false), "99.99");
  EXPECT_EQ(FormatSetValue(10000, false), "-----");
  EXPECT_EQ(FormatSetValue(10000, true), "-----");
}

TEST(PresetText, PromptAndCaptions) {
  EXPECT_EQ(SavePresetPrompt(4, 1200, 150, false),
            "Save M4 profile ?" + CR + "U set = 12.00 V" + CR + "I set =  1.50 A");
  EXPECT_EQ(SavePresetPrompt(0, 500, 1000, true),
            "Save M0 profile ?" + CR + "U set =  5.00 V" + CR + "I set = 1.000 A");
  EXPECT_EQ(ProfileCaption(3, TVersion::ver_4Z), "M3 Profile");
  EXPECT_EQ(ProfileCaption(13, TVersion::ver_New), "C3 Profile");
  EXPECT_EQ(ProfileCaption(13, TVersion::ver_42), "C3 Settings");
  EXPECT_EQ(ProfileCaption(0, TVersion::ver_18), "M0 Settings");
  EXPECT_EQ(ChargeText(10), "Charge Lithium Battery 1 Cell(s)");
  EXPECT_EQ(ChargeText(19), "Charge Lithium Battery 10 Cell(s)");
}

TEST(PresetText, ChargeLevelBetweenThreeVoltsAndTheEndVoltagePerCell) {
  // Two cells: 8.40 V end, 6.00 V empty.
  EXPECT_EQ(ChargePercent(840, 600), 0);
  EXPECT_EQ(ChargePercent(840, 599), 0);
  EXPECT_EQ(ChargePercent(840, 720), 50);
  EXPECT_EQ(ChargePercent(840, 840), 100);
  EXPECT_EQ(ChargePercent(840, 841), 100);
  EXPECT_EQ(ChargePercent(420, 360), 50);
  // No end voltage: nothing to divide by.
  EXPECT_EQ(ChargePercent(0, 0), 0);
  EXPECT_EQ(ChargePercent(0, 5), 100);
  // The largest register values do not overflow.
  EXPECT_EQ(ChargePercent(65535, 65535), 100);
}

TEST(PresetText, DefaultFlagWordsByLayout) {
  EXPECT_EQ(DefaultOnStartFlag(TVersion::ver_18, true), 1u);
  EXPECT_EQ(DefaultOnStartFlag(TVersion::ver_36, true), 0x8001u);
  EXPECT_EQ(DefaultOnStartFlag(TVersion::ver_4Z, false), 0x8000u);
  EXPECT_EQ(DefaultOnStartFlag(TVersion::ver_42, false), 0u);
  EXPECT_EQ(DefaultOnStartFlag(TVersion::ver_New, true), 1u);
}

TEST(PresetText, WhichFieldsAFirmwareClassAndPresetKindAllow) {
  auto all = [](const TParameterEnables& e) {
    return std::vector<bool>{e.Common, e.DefaultFlag, e.Parameters, e.Overtime, e.PowerFlag, e.Values};
  };
  // Common, Default, Parameters, Overtime, Power, Values
  using V = std::vector<bool>;
  EXPECT_EQ(all(ParameterEnables(true, TVersion::ver_18, 0)), (V{1, 1, 0, 0, 1, 1}));
  EXPECT_EQ(all(ParameterEnables(true, TVersion::ver_18, 10)), (V{1, 1, 0, 0, 1, 0}));
  EXPECT_EQ(all(ParameterEnables(true, TVersion::ver_36, 5)), (V{1, 1, 1, 1, 0, 1}));
  EXPECT_EQ(all(ParameterEnables(true, TVersion::ver_4Z, 12)), (V{1, 0, 1, 0, 0, 0}));
  EXPECT_EQ(all(ParameterEnables(true, TVersion::ver_42, 12)), (V{1, 1, 1, 1, 0, 1}));
  EXPECT_EQ(all(ParameterEnables(true, TVersion::ver_New, 19)), (V{1, 1, 1, 1, 0, 1}));
  EXPECT_EQ(all(ParameterEnables(false, TVersion::ver_43, 0)), (V{0, 0, 0, 0, 0, 0}));
}
