#include <gtest/gtest.h>

#include <QFile>
#include <QSettings>

#include "host/SettingsStore.h"
#include "tests/support/TestEnvironment.h"

namespace {
class SettingsStore : public ::testing::Test {
 protected:
  void SetUp() override { kelvora::test::ClearSettingsStore(); }
};
}  // namespace

TEST_F(SettingsStore, LivesInThePrivateTestFolderUnderTheProgramsNames) {
  const QString path = kelvora::test::SettingsFilePath();
  EXPECT_TRUE(path.startsWith(kelvora::test::IsolatedRoot())) << path.toStdString();
  EXPECT_TRUE(path.endsWith("/ardentix/KPX.conf")) << path.toStdString();
}

TEST_F(SettingsStore, AbsentValuesGiveTheAbsenceResults) {
  EXPECT_FALSE(RegValueExists("BAUDRATE"));
  EXPECT_EQ(RegReadInteger("BAUDRATE"), 0);
  EXPECT_EQ(RegReadString("PORT"), "");
  EXPECT_EQ(RegReadPortBaud("COM3"), -1);
}

TEST_F(SettingsStore, EveryValueRoundTripsAndIsVisibleToTheNextCall) {
  RegWriteInteger("CLR1", 0x00FFFFFF);
  RegWriteInteger("TCP", static_cast<int32_t>(0xC0A80101u));  // above INT32_MAX as a DWORD
  RegWriteInteger("MBADDR", -5);
  RegWriteString("PORT", "TCP");
  RegWriteString("NOTE", QString::fromUtf8("Порт занят, 50 %"));
  RegWritePortBaud("COM3", 4);
  EXPECT_TRUE(RegValueExists("CLR1"));
  EXPECT_EQ(RegReadInteger("CLR1"), 0x00FFFFFF);
  EXPECT_EQ(static_cast<uint32_t>(RegReadInteger("TCP")), 0xC0A80101u);
  EXPECT_EQ(RegReadInteger("MBADDR"), -5);
  EXPECT_EQ(RegReadString("PORT"), "TCP");
  EXPECT_EQ(RegReadString("NOTE"), QString::fromUtf8("Порт занят, 50 %"));
  EXPECT_EQ(RegReadPortBaud("COM3"), 4);
  // Per-port values do not leak into the main key.
  EXPECT_FALSE(RegValueExists("COM3"));
}

TEST_F(SettingsStore, DevicePathsSurviveAsPortNamesAndStayDistinct) {
  RegWritePortBaud("/dev/ttyUSB0", 6);
  RegWritePortBaud("/dev/ttyUSB1", 1);
  RegWritePortBaud("ttyUSB0", 3);
  RegWritePortBaud("/tmp/kelvora-0/ports/kpx sim%2F", 2);
  EXPECT_EQ(RegReadPortBaud("/dev/ttyUSB0"), 6);
  EXPECT_EQ(RegReadPortBaud("/dev/ttyUSB1"), 1);
  EXPECT_EQ(RegReadPortBaud("ttyUSB0"), 3);
  EXPECT_EQ(RegReadPortBaud("/tmp/kelvora-0/ports/kpx sim%2F"), 2);
  EXPECT_EQ(RegReadPortBaud("/dev"), -1);
  // Each port is one value directly under BAUDES, not a nest of groups.
  QSettings store(QSettings::NativeFormat, QSettings::UserScope, "ardentix", "KPX");
  store.beginGroup("BAUDES");
  EXPECT_TRUE(store.childGroups().isEmpty());
  EXPECT_EQ(store.childKeys().size(), 4);
}

TEST_F(SettingsStore, ListIndicesOutsideTheirListFallBackToTheDefault) {
  EXPECT_EQ(RegReadListIndex("BAUDRATE", 7, 2), 2);
  RegWriteInteger("BAUDRATE", 99);
  EXPECT_EQ(RegReadListIndex("BAUDRATE", 7, 2), 2);
  RegWriteInteger("BAUDRATE", -1);
  EXPECT_EQ(RegReadListIndex("BAUDRATE", 7, 2), 2);
  RegWriteInteger("BAUDRATE", 6);
  EXPECT_EQ(RegReadListIndex("BAUDRATE", 7, 2), 6);
  RegWriteInteger("BAUDRATE", 0);
  EXPECT_EQ(RegReadListIndex("BAUDRATE", 7, 2), 0);
}

TEST_F(SettingsStore, AValueEditedOutsideTheProgramIsReadAsAbsentWhenNotANumber) {
  RegWriteString("LTIM", "every now and then");
  EXPECT_TRUE(RegValueExists("LTIM"));
  EXPECT_EQ(RegReadInteger("LTIM"), 0);
  EXPECT_FALSE(RegReadNumber("LTIM").has_value());
  EXPECT_EQ(RegReadListIndex("LTIM", 14, 2), 2) << "the list's default, not its first item";
}

TEST_F(SettingsStore, ChangesMadeByAnotherWriterAreSeenAtOnce) {
  RegWriteInteger("LOG", 0);
  {
    QSettings other(QSettings::NativeFormat, QSettings::UserScope, "ardentix", "KPX");
    other.setValue("LOG", 1);
  }
  EXPECT_EQ(RegReadInteger("LOG"), 1);
}
