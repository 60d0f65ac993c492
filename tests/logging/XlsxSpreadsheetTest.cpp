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

namespace {
// The chart sheet (the workbook's second printed page) as LibreOffice prints it, kept in the
// gallery as galleryName for a person to look at.
QImage PrintedChart(const TDataLog& log, const QString& galleryName) {
  const QString office = QStandardPaths::findExecutable("soffice");
  const QString pdftoppm = QStandardPaths::findExecutable("pdftoppm");
  QTemporaryDir folder;
  if (!folder.isValid()) return {};
  const QString book = folder.filePath("chart.xlsx");
  log.SaveExcelLogFile("081226153045", book, QLocale(QLocale::English, QLocale::UnitedStates));
  QProcess convert;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("HOME", folder.filePath("home"));
  convert.setProcessEnvironment(env);
  convert.setProcessChannelMode(QProcess::MergedChannels);
  const QString profile = QUrl::fromLocalFile(folder.filePath("profile")).toString();
  convert.start(office, {"-env:UserInstallation=" + profile, "--headless", "--norestore",
                         "--convert-to", "pdf", "--outdir", folder.path(), book});
  if (!convert.waitForFinished(180000) || !QFile::exists(folder.filePath("chart.pdf"))) {
    ADD_FAILURE() << "LibreOffice made no PDF: " << convert.readAll().toStdString();
    return {};
  }
  // The data sheet prints first, the chart sheet after it; the hidden sheet not at all.
  QProcess render;
  render.start(pdftoppm, {"-r", "60", "-png", "-f", "2", "-l", "2", "-singlefile",
                          folder.filePath("chart.pdf"), folder.filePath("chart")});
  render.waitForFinished(60000);
  QImage page(folder.filePath("chart.png"));
  QDir().mkpath(KELVORA_GALLERY_DIR);
  if (!page.isNull()) page.save(QDir(KELVORA_GALLERY_DIR).filePath(galleryName));
  return page;
}

bool Near(QRgb a, QRgb b) {
  return std::abs(qRed(a) - qRed(b)) + std::abs(qGreen(a) - qGreen(b)) +
             std::abs(qBlue(a) - qBlue(b)) < 60;
}

bool ChartToolsMissing() {
  return QStandardPaths::findExecutable("soffice").isEmpty() ||
         QStandardPaths::findExecutable("pdftoppm").isEmpty();
}
}  // namespace

// Both lines are on the chart sheet in their colours, the current across the chart.
TEST(XlsxSpreadsheet, LibreOfficeDrawsTheChartSheetOfVoltageAndCurrent) {
  if (ChartToolsMissing()) GTEST_SKIP() << "soffice or pdftoppm is missing";
  TDataLog log;
  FillSampleLog(log);
  CurrentDivider = 1;
  const QImage page = PrintedChart(log, "xlsx-chart-sheet.png");
  ResetModelVariables();
  ASSERT_FALSE(page.isNull()) << "no second page";

  int voltage = 0, current = 0, currentLeft = page.width(), currentRight = 0;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      const QRgb pixel = page.pixel(x, y);
      if (Near(pixel, qRgb(0x1F, 0x4E, 0x9A))) ++voltage;
      if (Near(pixel, qRgb(0xC0, 0x39, 0x2B))) {
        ++current;
        currentLeft = std::min(currentLeft, x);
        currentRight = std::max(currentRight, x);
      }
    }
  EXPECT_GT(voltage, 100);
  EXPECT_GT(current, 100);
  EXPECT_GT(currentRight - currentLeft, page.width() / 3) << "the current runs across the chart";
}

// A log by event: a minute of steps, then 25 minutes without a change. On a time axis to scale
// the minute is a sliver at the left and the last step stands far to the right.
TEST(XlsxSpreadsheet, LibreOfficeDrawsAPauseInTheLogToScale) {
  if (ChartToolsMissing()) GTEST_SKIP() << "soffice or pdftoppm is missing";
  QDateTime now(QDate(2026, 12, 8), QTime(23, 50, 0));
  TDataLog log;
  log.SetClock([&now] { return now; });
  for (int i = 0; i <= 6; ++i) {
    TCurrentSet data{};
    data.USET = data.UOUT = 1000 + 500 * (i % 2);
    data.ISET = data.IOUT = 100;
    log.WriteLogData(data);
    now = now.addSecs(i < 5 ? 10 : 25 * 60);
  }
  const QImage page = PrintedChart(log, "xlsx-chart-pause.png");
  ASSERT_FALSE(page.isNull()) << "no second page";
  // Columns holding the voltage line: the first minute is crowded into the left part.
  std::vector<int> columns;
  for (int x = 0; x < page.width(); ++x)
    for (int y = 0; y < page.height(); ++y)
      if (Near(page.pixel(x, y), qRgb(0x1F, 0x4E, 0x9A))) {
        columns.push_back(x);
        break;
      }
  ASSERT_GT(columns.size(), 10u);
  // Where the line's up-and-down steps are (many voltage pixels in one column).
  int steps = 0, lastStep = 0;
  for (int x = columns.front(); x <= columns.back(); ++x) {
    int inColumn = 0;
    for (int y = 0; y < page.height(); ++y) inColumn += Near(page.pixel(x, y), qRgb(0x1F, 0x4E, 0x9A));
    if (inColumn > 20) ++steps, lastStep = x;
  }
  const int span = columns.back() - columns.front();
  EXPECT_GT(steps, 0);
  EXPECT_LT(lastStep - columns.front(), span / 4)
      << "the steps of the first minute are spaced like the entries after the pause";
}
