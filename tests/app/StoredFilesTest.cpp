// The program started on stored files that are wrong: values that are not numbers, a settings
// or step-table file that is not a regular file, a step table crafted with a valid checksum.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>
#include <QtEndian>

#include <sys/stat.h>

#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "autotest/PersistentTable.h"
#include "autotest/TestUnit.h"
#include "core/Dialogs.h"
#include "host/FileCrc32.h"
#include "host/SettingsStore.h"
#include "tests/support/TestEnvironment.h"

using namespace kelvora::test;

namespace {

class StoredFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    RemoveAt(SettingsFile());
    RemoveAt(PersistentTablePath());
    ClearSettingsStore();
    QDir().mkpath(QFileInfo(SettingsFile()).path());
    SetDialogResponder([this](const TDialogRequest& request) {
      Messages << request.Text;
      return TDialogReply{QMessageBox::Ok, {}, {}};
    });
  }
  void TearDown() override {
    SetDialogResponder({});
    RemoveAt(SettingsFile());
    RemoveAt(PersistentTablePath());
  }
  static void RemoveAt(const QString& path) {
    if (QFileInfo(path).isDir() && !QFileInfo(path).isSymLink())
      QDir(path).removeRecursively();
    else
      QFile::remove(path);
  }
  static bool IsFifo(const QString& path) {
    struct stat s {};
    return ::stat(QFile::encodeName(path).constData(), &s) == 0 && S_ISFIFO(s.st_mode);
  }
  // The program from start to close, with a setting changed so that closing has one to store.
  void RunProgram() {
    TProgramWindows windows;
    MainForm->show();
    QTest::qWait(50);  // the reports wait for the window
    MainForm->findChild<QComboBox*>("BaudComboBox")->setCurrentIndex(5);
    MainForm->close();
  }
  // Where the store keeps its file; not asked of the store, which would open it.
  static QString SettingsFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           "/ardentix/KPX.conf";
  }
  QString Other(const char* name) const { return QDir(IsolatedRoot()).filePath(name); }

  QStringList Messages;
};

}  // namespace

TEST_F(StoredFiles, ValuesThatAreNotNumbersGiveTheirDefaults) {
  ASSERT_EQ(SettingsFile(), SettingsFilePath());
  RegWriteString("BAUDRATE", "abc");
  RegWriteString("MBADDR", "x1");
  RegWriteString("CLR1", "xyz");
  RegWriteString("CLR2", "12ab");
  TProgramWindows windows;
  EXPECT_EQ(MainForm->findChild<QComboBox*>("BaudComboBox")->currentText(), "9600");
  EXPECT_EQ(MainForm->findChild<QComboBox*>("SlaveAddrComboBox")->currentText(), "1");
  EXPECT_EQ(MainForm->CLR(1), 0xFFFFFFu);
  EXPECT_EQ(MainForm->CLR(2), 0x00FF00u);
}

TEST_F(StoredFiles, ASettingsFileThatIsNotARegularFileIsToldOnceAndNeverReplaced) {
  const QString settings = SettingsFile();
  const QString fifo = Other("settings-fifo");
  QFile::remove(fifo);
  ASSERT_EQ(::mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
  const std::pair<const char*, std::function<bool()>> kinds[] = {
      {"a FIFO", [&] { return ::mkfifo(QFile::encodeName(settings).constData(), 0600) == 0; }},
      {"a folder", [&] { return QDir().mkpath(settings); }},
      {"a FIFO", [&] { return QFile::link(fifo, settings); }},  // a link to one
  };
  for (const auto& [kind, make] : kinds) {
    RemoveAt(settings);
    ASSERT_TRUE(make()) << kind;
    Messages.clear();
    RunProgram();  // starts at all: a FIFO would hold the first read for ever
    ASSERT_EQ(Messages.size(), 1) << kind << ": " << Messages.join(" | ").toStdString();
    EXPECT_TRUE(Messages[0].contains(QDir::toNativeSeparators(settings))) << Messages[0].toStdString();
    EXPECT_TRUE(Messages[0].contains(kind)) << Messages[0].toStdString();
    EXPECT_FALSE(QFileInfo(settings).isFile()) << kind << " replaced by the save at closing";
  }
  EXPECT_TRUE(IsFifo(fifo)) << "the link's target is left alone";
}

TEST_F(StoredFiles, ASettingsLinkToARegularFileIsSavedThroughAndStaysALink) {
  const QString target = Other("settings-elsewhere.conf");
  QFile::remove(target);
  QFile file(target);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[General]\nMBADDR=4\n");
  file.close();
  ASSERT_TRUE(QFile::link(target, SettingsFile()));
  RunProgram();
  EXPECT_TRUE(Messages.isEmpty()) << Messages.join(" | ").toStdString();
  EXPECT_TRUE(QFileInfo(SettingsFile()).isSymLink());
  EXPECT_EQ(RegReadInteger("BAUDRATE"), 5) << "saved into the link's target";
  EXPECT_EQ(RegReadInteger("MBADDR"), 4);
}

TEST_F(StoredFiles, AStepTableThatIsNotARegularFileIsToldOnceAndNeverReplaced) {
  RegWriteInteger(kPersistentCrcValue, 1234);  // so that the table would be read
  const QString table = PersistentTablePath();
  ASSERT_EQ(::mkfifo(QFile::encodeName(table).constData(), 0600), 0);
  RunProgram();
  ASSERT_EQ(Messages.size(), 1) << Messages.join(" | ").toStdString();
  EXPECT_TRUE(Messages[0].contains("Persistent.ini")) << Messages[0].toStdString();
  EXPECT_TRUE(IsFifo(table)) << "the save at closing left it alone";
}

TEST_F(StoredFiles, ACraftedStepTableIsHeldToTheEntryFieldsRanges) {
  // A valid checksum over values no entry field can hold.
  QByteArray bytes(2 * 16, '\0');
  qToLittleEndian<uint32_t>(0xFFFFFFFFu, bytes.data());       // 42949672.95 V
  qToLittleEndian<uint32_t>(0, bytes.data() + 4);             // no current
  qToLittleEndian<uint32_t>(0xFFFFFFFFu, bytes.data() + 8);   // 136 years
  qToLittleEndian<uint32_t>(5, bytes.data() + 16);            // 0.05 V, below the lowest
  qToLittleEndian<uint32_t>(0xFFFFFFFFu, bytes.data() + 20);
  qToLittleEndian<uint32_t>(0, bytes.data() + 24);
  QFile file(PersistentTablePath());
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(bytes);
  file.close();
  RegWriteInteger(kPersistentCrcValue, static_cast<int32_t>(Crc32(bytes)));
  TProgramWindows windows;
  ASSERT_EQ(TestForm->Steps().Count(), 2);
  const TTestStep& first = TestForm->Steps()[0];
  const TTestStep& second = TestForm->Steps()[1];
  EXPECT_EQ(first.Uset, 8100u);
  EXPECT_EQ(first.Iset, 1u);
  EXPECT_EQ(first.Time, 3599u);
  EXPECT_EQ(second.Uset, 10u);
  EXPECT_EQ(second.Iset, 5100u);
  EXPECT_EQ(second.Time, 1u);
}
