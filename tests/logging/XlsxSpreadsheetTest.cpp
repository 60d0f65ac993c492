#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>
#include <QUrl>

#include "logging/DataLog.h"
#include "tests/logging/LogTestData.h"

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

// The chart sheet as LibreOffice prints it: the page is kept in the gallery for a person to look
// at, and both lines are on it in their colours.
TEST(XlsxSpreadsheet, LibreOfficeDrawsTheChartSheetOfVoltageAndCurrent) {
  const QString office = QStandardPaths::findExecutable("soffice");
  const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
  if (office.isEmpty() || pdftoppm.isEmpty()) GTEST_SKIP() << "soffice or pdftoppm is missing";
  QTemporaryDir folder;
  ASSERT_TRUE(folder.isValid());
  TDataLog log;
  FillSampleLog(log);
  CurrentDivider = 1;
  const QString book = folder.filePath("chart.xlsx");
  log.SaveExcelLogFile("081226153045", book, QLocale(QLocale::English, QLocale::UnitedStates));
  ResetModelVariables();

  QProcess convert;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", folder.filePath("home"));
  convert.setProcessEnvironment(env);
  convert.setProcessChannelMode(QProcess::MergedChannels);
  const QString profile = QUrl::fromLocalFile(folder.filePath("profile")).toString();
  convert.start(office, {"-env:UserInstallation=" + profile, "--headless", "--norestore",
                         "--convert-to", "pdf", "--outdir", folder.path(), book});
  ASSERT_TRUE(convert.waitForFinished(180000)) << "LibreOffice did not finish";
  ASSERT_TRUE(QFile::exists(folder.filePath("chart.pdf"))) << convert.readAll().toStdString();
  // The data sheet prints first, the chart sheet after it.
  QProcess render;
  render.start(pdftoppm, {"-r", "60", "-png", "-f", "2", "-l", "2", "-singlefile",
                          folder.filePath("chart.pdf"), folder.filePath("chart")});
  ASSERT_TRUE(render.waitForFinished(60000));
  QImage page(folder.filePath("chart.png"));
  ASSERT_FALSE(page.isNull()) << "no second page";
  QDir().mkpath(KELVORA_GALLERY_DIR);
  page.save(QDir(KELVORA_GALLERY_DIR).filePath("xlsx-chart-sheet.png"));

  // Pixels near each line's colour, and where they are across the page.
  const auto near = [](QRgb a, QRgb b) {
    return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
               std::abs(qBlue(a) - qBlue(b)) < 60;
  };
  int voltage = 0, current = 0, currentLeft = page.width(), currentRight = 0;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      const QRgb pixel = page.pixel(x, y);
      if (near(pixel, qRgb(0x1F, 0x4E, 0x9A))) ++voltage;
      if (near(pixel, qRgb(0xC0, 0x39, 0x2B))) {
        ++current;
        currentLeft = std::min(currentLeft, x);
        currentRight = std::max(currentRight, x);
      }
    }
  EXPECT_GT(voltage, 100);
  EXPECT_GT(current, 100);
  EXPECT_GT(currentRight - currentLeft, page.width() / 3) << "the current runs across the chart";
}
