#include <gtest/gtest.h>

#include "core/RegisterMap.h"
#include "core/UtilUnit.h"

TEST(Colours, Rgb565ToColorRestoresFullIntensityAndKeepsOthers) {
  EXPECT_EQ(Rgb565ToColor(0xFFFF), 0xFFFFFFu);
  EXPECT_EQ(Rgb565ToColor(0xF800), 0x0000FFu);  // red, not 0x0000F8
  EXPECT_EQ(Rgb565ToColor(0x07E0), 0x00FF00u);
  EXPECT_EQ(Rgb565ToColor(0x001F), 0xFF0000u);
  EXPECT_EQ(Rgb565ToColor(0x8410), 0x808080u);
  EXPECT_EQ(Rgb565ToColor(0x0000), 0x000000u);
}

TEST(Colours, ColorToRgb565DropsLowBitsOfEachChannel) {
  EXPECT_EQ(ColorToRgb565(0x00FF00), 0x07E0);
  EXPECT_EQ(ColorToRgb565(0x0000FF), 0xF800);
  EXPECT_EQ(ColorToRgb565(0xFF0000), 0x001F);
  EXPECT_EQ(ColorToRgb565(0xFF00FF07), ColorToRgb565(0x0000FF07));  // top byte ignored
  // Every pure colour survives the round trip through the supply.
  for (uint32_t c : {0x0000FFu, 0x00FF00u, 0xFF0000u, 0x00FFFFu, 0xFF00FFu, 0xFFFF00u, 0xFFFFFFu})
    EXPECT_EQ(Rgb565ToColor(ColorToRgb565(c)), c) << std::hex << c;
}

TEST(Colours, DarkenColorHalvesEachChannelAndClearsTopByte) {
  EXPECT_EQ(DarkenColor(0xFFFFFFFF), 0x7F7F7Fu);
  EXPECT_EQ(DarkenColor(0x00030507), 0x010203u);
}

TEST(Bits, SetBitsSetsAndClearsOnlyTheMask) {
  uint32_t v = 0xF0;
  SetBits(v, 0x0Fu, true);
  EXPECT_EQ(v, 0xFFu);
  SetBits(v, 0x81u, false);
  EXPECT_EQ(v, 0x7Eu);
}

TEST(Formatting, FormatFixedPlacesThePointAndBlanksLeadingZeros) {
  EXPECT_EQ(FormatFixed(4321, 3), "43.21");
  EXPECT_EQ(FormatFixed(5, 3), "0.05");
  EXPECT_EQ(FormatFixed(0, 3), "0.00");
  EXPECT_EQ(FormatFixed(5, 4), "0.005");
  EXPECT_EQ(FormatFixed(12345, 1), "12345");
  EXPECT_EQ(FormatFixed(0, 1), "0");
  EXPECT_EQ(FormatFixed(100000, 3), "1000.00");
  EXPECT_EQ(FormatFixed(1234567, 3), "12345.67");  // nothing above six positions is lost
  QString prefixed = "U=";
  FormatFixed(prefixed, 5, 3);
  EXPECT_EQ(prefixed, "U=0000.05");  // caller's text forces every position
}

TEST(Formatting, FormatMinutesWritesHoursAndMinutes) {
  EXPECT_EQ(FormatMinutes(125), "2:05");
  EXPECT_EQ(FormatMinutes(5), "0:05");
  EXPECT_EQ(FormatMinutes(0), "0:00");
  EXPECT_EQ(FormatMinutes(5999), "99:59");
  EXPECT_EQ(FormatMinutes(60 * 100 + 1), "100:01");
  EXPECT_EQ(FormatMinutes(60 * 1234 + 7), "1234:07");
}

TEST(Arithmetic, MulDivRoundsToNearestInSixtyFourBits) {
  EXPECT_EQ(MulDiv(1200, 1000, 1000), 1200);
  EXPECT_EQ(MulDiv(5000, 5100, 1000), 25500);  // 50 V x 5.1 A = 255.00 W
  EXPECT_EQ(MulDiv(3, 1, 2), 2);
  EXPECT_EQ(MulDiv(-3, 1, 2), -2);  // halves away from zero
  EXPECT_EQ(MulDiv(65535, 65535, 100), 42948362);
  EXPECT_EQ(MulDiv(1, 1, 0), -1);
}

TEST(Scanning, ScanFormattedReadsAddressesAndStopsAtMissingNumbers) {
  int32_t a = -1, b = -1, c = -1, d = -1;
  EXPECT_EQ(ScanFormatted("192.168.001.001", "%d.%d.%d.%d", {&a, &b, &c, &d}), 4);
  EXPECT_EQ(a, 192);
  EXPECT_EQ(b, 168);
  EXPECT_EQ(c, 1);
  EXPECT_EQ(d, 1);
  EXPECT_EQ(ScanFormatted(" 10 . 20.x.4", "%d.%d.%d.%d", {&a, &b, &c, &d}), 2);
  EXPECT_EQ(ScanFormatted("300.1.1.1", "%d.%d.%d.%d", {&a, &b, &c, &d}), 4);
  EXPECT_EQ(a, 300);  // no range check here; the caller judges
  EXPECT_EQ(ScanFormatted("-7 +8", "%d %d", {&a, &b}), 2);
  EXPECT_EQ(a, -7);
  EXPECT_EQ(b, 8);
}

TEST(Scanning, ScanFormattedFloatsWordsAndUnsupportedConversions) {
  long double f = 0;
  QString word;
  int32_t n = 0;
  EXPECT_EQ(ScanFormatted("  1.5e2 volts", "%f %s", {&f, &word}), 2);
  EXPECT_DOUBLE_EQ(static_cast<double>(f), 150.0);
  EXPECT_EQ(word, "volts");
  EXPECT_EQ(ScanFormatted("12", "%x", {&n}), 0);
  EXPECT_EQ(ScanFormatted("12 13", "%d", {&n}), 1);  // stops when all targets are filled
  EXPECT_EQ(ScanFormatted("", "%d", {&n}), 0);
}

TEST(Records, FieldWidthsAndRegisterOrder) {
  TCurrentSet data{};
  StoreRegister(data, Reg::VERSION, 0x102B);
  StoreRegister(data, Reg::BEEP, 7);
  StoreRegister(data, Reg::MEM, 19);
  StoreRegister(data, Reg::WHCNT_H, 0xBEEF);
  StoreRegister(data, 48, 1);  // outside the mirror: ignored
  EXPECT_EQ(data.VERSION, 0x102Bu);
  EXPECT_EQ(data.BEEP, 7u);
  EXPECT_EQ(data.MEM, 19);
  EXPECT_EQ(data.WHCNT_H, 0xBEEF);
  EXPECT_EQ(Reg::VersionNumber(data.VERSION), 43);
  EXPECT_EQ(offsetof(TModel, BacklightMax) % 4, 0u);
  EXPECT_EQ(sizeof(TVersion), 1u);
  EXPECT_EQ(sizeof(TCalib_Mode), 1u);
}

TEST(Records, PresetBlocksStayInsideTheMap) {
  EXPECT_EQ(Reg::MemoryBlockStart(0), 80);
  EXPECT_EQ(Reg::MemoryBlockStart(9), 224);
  EXPECT_EQ(Reg::MemoryBlockStart(10), 240);
  EXPECT_EQ(Reg::MemoryBlockStart(19), 384);
  EXPECT_EQ(Reg::MemoryBlockStart(20), 80);  // MEM of 20 or more is preset 0
  EXPECT_EQ(Reg::MemoryBlockStart(0xFFFF), 80);
  EXPECT_EQ(RequestStart(TRequestKind::WriteMemory, 9), 224);
  EXPECT_EQ(RequestStart(TRequestKind::ReadGlobalData), 16);
  EXPECT_EQ(RequestSpec(TRequestKind::WriteGlobalData).Count, 11);
}

TEST(Models, TableAndDefaultsBeforeAnyModel) {
  ResetModelVariables();
  EXPECT_EQ(ModelUmax, 5100);
  EXPECT_EQ(ModelImax, 2010);
  EXPECT_EQ(ModelPmax, 9999);
  EXPECT_EQ(CurrentDivider, 1);
  const auto m = FindModel(3012);
  ASSERT_TRUE(m);
  EXPECT_EQ(m->Imax, 1210);
  EXPECT_EQ(m->CurrentDivider, 1);
  EXPECT_TRUE(m->TempSensor);
  EXPECT_EQ(FindModel(8005)->CurrentDivider, 10);
  EXPECT_FALSE(IsKnownModel(1234));
}
