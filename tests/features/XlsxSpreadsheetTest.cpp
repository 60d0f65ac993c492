#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "features/DataLog.h"
#include "tests/features/LogTestData.h"

// A real spreadsheet program opens the workbook and shows what a person at the bench would see.
TEST(XlsxSpreadsheet, LibreOfficeShowsTheLogAsWritten) {
  const QString office = QStandardPaths::findExecutable("libreoffice");
  if (office.isEmpty()) GTEST_SKIP() << "LibreOffice is not installed";
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());

  TDataLog log;
  FillSampleLog(log);
  CurrentDivider = 1;
  const QString book = folder.filePath("log.xlsx");
  log.SaveExcelLogFile("081226153045", book, QLocale(QLocale::English, QLocale::UnitedStates));
  ResetModelVariables();

  QProcess convert;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("LC_ALL", "C.UTF-8");
  env.insert("LANG", "C.UTF-8");
  env.insert("HOME", folder.filePath("home"));
  convert.setProcessEnvironment(env);
  convert.setProcessChannelMode(QProcess::MergedChannels);
  const QString profile = QUrl::fromLocalFile(folder.filePath("profile")).toString();
  convert.start(office, {"-env:UserInstallation=" + profile, "--headless", "--norestore",
                         "--convert-to", "csv:Text - txt - csv (StarCalc):44,34,76", "--outdir",
                         folder.path(), book});
  ASSERT_TRUE(convert.waitForFinished(180000)) << "LibreOffice did not finish";
  QFile csv(folder.filePath("log.csv"));
  ASSERT_TRUE(csv.open(QIODevice::ReadOnly)) << convert.readAll().toStdString();
  QString shown = QString::fromUtf8(csv.readAll());
  shown.remove('"').replace("\r\n", "\n");
  // Volts keep their decimals, and the power of thousands of watts is not rounded to whole watts.
  EXPECT_EQ(shown.trimmed().toStdString(),
            "Time,Uset,Iset,Uout,Iout,Pout\n"
            "3:30:45 PM,12.34,1.50,12.33,1.49,18.37\n"
            "3:30:48 PM,5.00,20.10,4.98,19.99,99.55\n"
            "3:30:51 PM,50.00,15.00,49.95,14.00,6993.00");
}
