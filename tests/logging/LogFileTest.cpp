#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <vector>

#include "core/Dialogs.h"
#include "core/ErrorReport.h"
#include "logging/DataLog.h"
#include "logging/LogFormat.h"
#include "tests/logging/LogTestData.h"
#include "tests/logging/XlsxPackage.h"

namespace {
QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void WriteFile(const QString& path, const QByteArray& contents) {
  QFile file(path);
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write(contents);
}

class LogFile : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(folder.isValid()); }
  void TearDown() override {
    ResetModelVariables();
    SetDialogResponder({});
    QLocale::setDefault(QLocale::system());
  }
  QString Path(const QString& name) const { return folder.filePath(name); }

  QTemporaryDir folder;
  const QLocale us{QLocale::English, QLocale::UnitedStates};
  const QLocale german{QLocale::German, QLocale::Germany};
};

// Answers the save dialog with a fixed name and records every request.
struct TScriptedUser {
  QString FileName;
  std::vector<TDialogRequest> Requests;
  void Install() {
    SetDialogResponder([this](const TDialogRequest& request) {
      Requests.push_back(request);
      TDialogReply reply;
      reply.Button = QMessageBox::Ok;
      if (request.DialogType == TDialogRequest::Type::SaveFile) reply.FileName = FileName;
      return reply;
    });
  }
  std::vector<TDialogRequest> Messages() const {
    std::vector<TDialogRequest> messages;
    for (const TDialogRequest& r : Requests)
      if (r.DialogType == TDialogRequest::Type::Message) messages.push_back(r);
    return messages;
  }
};
}  // namespace

TEST_F(LogFile, TextLogIsFixedColumnsWithLocaleSeparatorsAndCrLf) {
  TDataLog log;
  FillSampleLog(log);

  CurrentDivider = 1;
  log.SaveTxtLogFile(Path("us.txt"), us);
  EXPECT_EQ(Contents(Path("us.txt")),
            "Time       Uset   Iset   Uout   Iout    Pout\r\n"
            "3:30:45 PM  12.34   1.50  12.33   1.49   18.37  \r\n"
            "3:30:48 PM   5.00  20.10   4.98  19.99   99.55  \r\n"
            "3:30:51 PM  50.00  15.00  49.95  14.00  6,993.00  \r\n");
  log.SaveTxtLogFile(Path("de.txt"), german);
  EXPECT_EQ(Contents(Path("de.txt")),
            "Time       Uset   Iset   Uout   Iout    Pout\r\n"
            "15:30:45  12,34   1,50  12,33   1,49   18,37  \r\n"
            "15:30:48   5,00  20,10   4,98  19,99   99,55  \r\n"
            "15:30:51  50,00  15,00  49,95  14,00  6.993,00  \r\n");

  CurrentDivider = 10;
  log.SaveTxtLogFile(Path("us-mA.txt"), us);
  EXPECT_EQ(Contents(Path("us-mA.txt")),
            "Time       Uset   Iset   Uout   Iout    Pout\r\n"
            "3:30:45 PM  12.34  0.150  12.33  0.149   18.37  \r\n"
            "3:30:48 PM   5.00  2.010   4.98  1.999   99.55  \r\n"
            "3:30:51 PM  50.00  1.500  49.95  1.400  6,993.00  \r\n");
  log.SaveTxtLogFile(Path("de-mA.txt"), german);
  EXPECT_EQ(Contents(Path("de-mA.txt")),
            "Time       Uset   Iset   Uout   Iout    Pout\r\n"
            "15:30:45  12,34  0,150  12,33  0,149   18,37  \r\n"
            "15:30:48   5,00  2,010   4,98  1,999   99,55  \r\n"
            "15:30:51  50,00  1,500  49,95  1,400  6.993,00  \r\n");
}

TEST_F(LogFile, EmptyTextLogIsTheHeaderLineAndReplacesAnOlderFile) {
  WriteFile(Path("old.txt"), "an older log that is much longer than the header line ...........");
  TDataLog().SaveTxtLogFile(Path("old.txt"), us);
  EXPECT_EQ(Contents(Path("old.txt")), "Time       Uset   Iset   Uout   Iout    Pout\r\n");
}

TEST_F(LogFile, FailedSaveRaisesAndKeepsTheEarlierFile) {
  TDataLog log;
  FillSampleLog(log);
  // A name of the longest length a folder allows: the file exists, but no temporary file can be
  // written beside it, so the new contents can never be put in its place.
  const QString longest = Path(QString(255 - 4, u'L') + ".txt");
  WriteFile(longest, "earlier log");
  ASSERT_EQ(Contents(longest), "earlier log");
  EXPECT_THROW(log.SaveTxtLogFile(longest, us), EKelvoraError);
  EXPECT_THROW(log.SaveExcelLogFile("1", longest, us), EKelvoraError);
  EXPECT_EQ(Contents(longest), "earlier log");
  EXPECT_EQ(QDir(folder.path()).entryList(QDir::Files), QStringList{longest.section('/', -1)});
}

TEST_F(LogFile, SaveProposesTheStampAndAddsTxtOnlyWhenTheNameHasNoExtension) {
  QLocale::setDefault(german);
  TDataLog log;
  log.SetClock([] { return QDateTime(QDate(2026, 12, 8), QTime(15, 30, 45)); });
  log.WriteLogData({});
  TScriptedUser user;
  user.Install();

  user.FileName = Path("bench-run");
  EXPECT_TRUE(log.SaveLog(nullptr, false));
  ASSERT_EQ(user.Requests.size(), 1u);
  EXPECT_EQ(user.Requests[0].DialogType, TDialogRequest::Type::SaveFile);
  EXPECT_EQ(user.Requests[0].Text, QDir::home().filePath("Log_08_12_26_15_30_45.txt"))
      << "the home folder while there is no documents folder";
  EXPECT_TRUE(user.Requests[0].Filter.contains("*.txt"));
  EXPECT_TRUE(QFile::exists(Path("bench-run.txt")));
  EXPECT_FALSE(QFile::exists(Path("bench-run")));

  user.FileName = Path("bench-run.log");
  EXPECT_TRUE(log.SaveLog(nullptr, false));
  EXPECT_EQ(QFileInfo(user.Requests[1].Text).absolutePath(), QFileInfo(Path("bench-run")).absolutePath())
      << "the next save proposes the folder of the last one";
  EXPECT_TRUE(Contents(Path("bench-run.log")).startsWith("Time       Uset"));
  EXPECT_FALSE(QFile::exists(Path("bench-run.log.txt")));

  user.FileName.clear();  // cancelled
  EXPECT_FALSE(log.SaveLog(nullptr, false));
  EXPECT_TRUE(user.Messages().empty());
}

TEST_F(LogFile, SavingAWorkbookProposesXlsxNamesTheSheetByTheDigitsAndOpensIt) {
  QLocale::setDefault(us);
  TDataLog log;
  log.SetClock([] { return QDateTime(QDate(2026, 12, 8), QTime(15, 30, 45)); });
  log.WriteLogData({});
  QStringList opened;
  log.SetDocumentOpener([&opened](const QString& name) {
    opened << name;
    return true;
  });
  TScriptedUser user;
  user.Install();
  user.FileName = Path("book");

  EXPECT_TRUE(log.SaveLog(nullptr, true));
  ASSERT_EQ(user.Requests.size(), 1u);
  EXPECT_EQ(QFileInfo(user.Requests[0].Text).fileName(), "Log_12_8_26_3_30_45___.xlsx");
  EXPECT_TRUE(user.Requests[0].Filter.contains("*.xlsx"));
  EXPECT_EQ(opened, QStringList{Path("book.xlsx")});
  EXPECT_EQ(SheetNames(Path("book.xlsx")), (QStringList{"1282633045", "Chart", "Chart times"}));
}

TEST_F(LogFile, SaveFailuresAreShownToTheUserAndNothingIsOpened) {
  TDataLog log;
  log.WriteLogData({});
  bool opened = false;
  log.SetDocumentOpener([&opened](const QString&) { return opened = true; });
  TScriptedUser user;
  user.Install();
  user.FileName = Path("no-such-folder/log.xlsx");

  EXPECT_FALSE(log.SaveLog(nullptr, true));
  EXPECT_FALSE(log.SaveLog(nullptr, false));
  EXPECT_FALSE(opened);
  const auto messages = user.Messages();
  ASSERT_EQ(messages.size(), 2u);
  for (const TDialogRequest& m : messages) {
    EXPECT_EQ(m.Kind, TMsgKind::Error);
    EXPECT_TRUE(m.Text.contains(QDir::toNativeSeparators(Path("no-such-folder/log.xlsx"))))
        << m.Text.toStdString();
  }
}

TEST_F(LogFile, AWorkbookNoProgramCanOpenIsStillSavedAndTheUserIsTold) {
  TDataLog log;
  log.WriteLogData({});
  log.SetDocumentOpener([](const QString&) { return false; });
  TScriptedUser user;
  user.Install();
  user.FileName = Path("book.xlsx");

  EXPECT_TRUE(log.SaveLog(nullptr, true));
  EXPECT_TRUE(QFile::exists(Path("book.xlsx")));
  const auto messages = user.Messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].Kind, TMsgKind::Warning);
}

TEST(LogTime, LongTimeFormatLeavesOutTheZoneWithItsBracketsAndKeepsQuotedText) {
  const std::vector<std::pair<QLocale, QString>> expected{
      {QLocale(QLocale::English, QLocale::UnitedStates), "h:mm:ss AP"},
      {QLocale(QLocale::German, QLocale::Germany), "HH:mm:ss"},
      {QLocale(QLocale::Chinese, QLocale::China), "HH:mm:ss"},
      {QLocale(QLocale::Catalan, QLocale::Spain), "H:mm:ss"},
      {QLocale(QLocale::Chinese, QLocale::TraditionalChineseScript, QLocale::Taiwan), "Bh:mm:ss"},
      {QLocale(QLocale::French, QLocale::Canada), "HH 'h' mm 'min' ss 's'"},
  };
  for (const auto& [locale, format] : expected)
    EXPECT_EQ(LongTimeFormat(locale).toStdString(), format.toStdString())
        << locale.name().toStdString();
  EXPECT_EQ(LogTimeText(QDateTime(QDate(2026, 12, 8), QTime(9, 5, 7)),
                        QLocale(QLocale::French, QLocale::Canada))
                .toStdString(),
            "09 h 05 min 07 s");
}
