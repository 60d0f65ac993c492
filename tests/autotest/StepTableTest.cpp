// The step table, its file and checksum, and where the program keeps its own files.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <unistd.h>

#include "core/ErrorReport.h"
#include "core/UtilUnit.h"
#include "autotest/PersistentTable.h"
#include "autotest/TestSteps.h"
#include "host/DataFolders.h"
#include "host/FileCrc32.h"
#include "host/SettingsStore.h"
#include "tests/support/TestEnvironment.h"

namespace {

QByteArray ReadAll(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
}

TTestSteps ThreeSteps() {
  TTestSteps steps;
  steps[0] = {1234, 567, 90, true};
  steps.Add();
  steps[1] = {0x1F03, 0x1204, 3599, false};
  steps.Add();
  return steps;
}

class StoredTable : public ::testing::Test {
 protected:
  void SetUp() override {
    kelvora::test::ClearSettingsStore();
    Path = QDir(Dir.path()).filePath(kPersistentFileName);
  }
  QTemporaryDir Dir;
  QString Path;
};

}  // namespace

TEST(Crc32, MatchesTheIeeeCheckValueAndReadsLargeFilesInChunks) {
  EXPECT_EQ(Crc32("123456789"), 0xCBF43926u);
  EXPECT_EQ(Crc32(""), 0u);
  QTemporaryDir dir;
  const QString path = dir.filePath("big");
  QByteArray big(100000, '\0');
  for (int i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 + i / 300);
  WriteAll(path, big);
  EXPECT_EQ(FileCrc32(path), Crc32(big));
  EXPECT_FALSE(FileCrc32(dir.filePath("missing")).has_value());
}

TEST(TestSteps, FileLayoutIsSixteenLittleEndianBytesPerStep) {
  const QByteArray bytes = ThreeSteps().ToBytes();
  ASSERT_EQ(bytes.size(), 48);
  EXPECT_EQ(bytes.left(16), QByteArray::fromHex("d2040000" "37020000" "5a000000" "01000000"));
  EXPECT_EQ(bytes.mid(16, 16), QByteArray::fromHex("031f0000" "04120000" "0f0e0000" "00000000"));
  EXPECT_EQ(bytes.mid(32, 16), bytes.mid(16, 16)) << "a new step copies the last one";

  TTestSteps back;
  ASSERT_TRUE(back.FromBytes(bytes));
  ASSERT_EQ(back.Count(), 3);
  EXPECT_EQ(back[1].Iset, 0x1204u);
  EXPECT_EQ(back[1].Time, 3599u);
  EXPECT_FALSE(back[1].Enabled);
  EXPECT_TRUE(back[0].Enabled);
}

TEST(TestSteps, ReadsAtMostSeventeenWholeStepsAndNeedsOne) {
  TTestSteps steps;
  EXPECT_FALSE(steps.FromBytes(QByteArray(15, '\1')));
  EXPECT_EQ(steps.Count(), 1);
  EXPECT_EQ(steps[0].Uset, kDefaultTestStep.Uset);
  ASSERT_TRUE(steps.FromBytes(QByteArray(20 * 16 + 5, '\0')));
  EXPECT_EQ(steps.Count(), kMaxTestSteps);
  EXPECT_FALSE(steps.Add());
  while (steps.DeleteLast()) {
  }
  EXPECT_EQ(steps.Count(), 1);
}

TEST(TestSteps, GridTextsFollowTheCurrentUnit) {
  EXPECT_EQ(StepTexts(kDefaultTestStep, 1), (QStringList{"5.00", "2.00", "10.00", "1:00"}));
  // 1 mA units: three current decimals and Uset x Iset div 1000 for the power.
  EXPECT_EQ(StepTexts({1234, 1500, 3599, true}, 10),
            (QStringList{"12.34", "1.500", "18.51", "59:59"}));
  EXPECT_EQ(StepTexts({1234, 150, 5, true}, 1), (QStringList{"12.34", "1.50", "18.51", "0:05"}));
}

TEST_F(StoredTable, SurvivesARoundTripAndStoresTheFileChecksum) {
  SavePersistentTable(ThreeSteps(), Path);
  const QByteArray bytes = ReadAll(Path);
  EXPECT_EQ(bytes, ThreeSteps().ToBytes());
  EXPECT_EQ(RegReadInteger(kPersistentCrcValue), static_cast<int32_t>(Crc32(bytes)));
  TTestSteps loaded;
  ASSERT_TRUE(LoadPersistentTable(loaded, Path));
  EXPECT_EQ(loaded.ToBytes(), bytes);
}

TEST_F(StoredTable, AnyChangedByteOrAMissingPieceKeepsTheDefaultStep) {
  SavePersistentTable(ThreeSteps(), Path);
  const QByteArray good = ReadAll(Path);
  for (int i = 0; i < good.size(); ++i) {
    QByteArray bad = good;
    bad[i] = static_cast<char>(bad[i] ^ 0x10);
    WriteAll(Path, bad);
    TTestSteps steps;
    EXPECT_FALSE(LoadPersistentTable(steps, Path)) << "byte " << i;
    EXPECT_EQ(steps.Count(), 1);
    EXPECT_EQ(steps[0].Uset, kDefaultTestStep.Uset);
  }
  WriteAll(Path, good.left(32));
  TTestSteps shortened;
  EXPECT_FALSE(LoadPersistentTable(shortened, Path)) << "a cut file fails the checksum";

  WriteAll(Path, good);
  kelvora::test::ClearSettingsStore();
  TTestSteps noValue;
  EXPECT_FALSE(LoadPersistentTable(noValue, Path));
  EXPECT_EQ(noValue.Count(), 1);

  SavePersistentTable(ThreeSteps(), Path);
  QFile::remove(Path);
  TTestSteps noFile;
  EXPECT_FALSE(LoadPersistentTable(noFile, Path));
  EXPECT_EQ(noFile.Count(), 1);
}

TEST_F(StoredTable, AFailedSaveStoresNoChecksum) {
  SavePersistentTable(ThreeSteps(), Path);
  const int32_t crc = RegReadInteger(kPersistentCrcValue);
  TTestSteps other;
  EXPECT_THROW(SavePersistentTable(other, QDir(Dir.path()).filePath("gone/" + kPersistentFileName)),
               EKelvoraError);
  EXPECT_EQ(RegReadInteger(kPersistentCrcValue), crc);
  TTestSteps loaded;
  ASSERT_TRUE(LoadPersistentTable(loaded, Path));
  EXPECT_EQ(loaded.Count(), 3);
}

TEST(DataFolders, ThePortableMarkerInAWritableFolderKeepsFilesBesideTheProgram) {
  QTemporaryDir exe;
  const QString userData = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
  ASSERT_TRUE(userData.startsWith(kelvora::test::IsolatedRoot()));
  EXPECT_EQ(ProgramDataFolderFor(exe.path()), userData) << "an installed program has no marker";
  EXPECT_TRUE(QDir(userData).exists());
  WriteAll(QDir(exe.path()).filePath(kPortableMarker), {});
  EXPECT_EQ(ProgramDataFolderFor(exe.path()), QDir(exe.path()).absolutePath());
  // A folder the user cannot write to is not used (the superuser may write anywhere).
  QFile::setPermissions(exe.path(), QFileDevice::ReadOwner | QFileDevice::ExeOwner);
  if (::geteuid() != 0) {
    EXPECT_EQ(ProgramDataFolderFor(exe.path()), userData) << "a read-only folder is not used";
  }
  QFile::setPermissions(exe.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                        QFileDevice::ExeOwner);
}
