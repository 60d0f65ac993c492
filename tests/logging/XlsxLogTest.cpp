#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <map>

#include "core/ErrorReport.h"
#include "logging/DataLog.h"
#include "logging/XlsxLog.h"
#include "tests/logging/LogTestData.h"
#include "tests/logging/XlsxPackage.h"

namespace {
class XlsxLog : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!UnzipAvailable()) GTEST_SKIP() << "the unzip program is not installed";
    ASSERT_TRUE(folder.isValid());
  }
  void TearDown() override { ResetModelVariables(); }
  QString Path(const QString& name) const { return folder.filePath(name); }

  QTemporaryDir folder;
  const QLocale us{QLocale::English, QLocale::UnitedStates};
};

void ExpectNumber(const std::map<QString, TSheetCell>& cells, const QString& ref, double value,
                  const QString& format) {
  SCOPED_TRACE(ref.toStdString());
  ASSERT_TRUE(cells.count(ref));
  const TSheetCell& cell = cells.at(ref);
  EXPECT_FALSE(cell.IsString);
  EXPECT_DOUBLE_EQ(cell.Text.toDouble(), value);
  EXPECT_EQ(cell.NumberFormat, format);
}
}  // namespace

TEST_F(XlsxLog, WorkbookHoldsHeaderTimesAsTextAndValuesFromB2InTheNumberFormat) {
  TDataLog log;
  FillSampleLog(log);
  CurrentDivider = 1;
  log.SaveExcelLogFile("081226153045", Path("log.xlsx"), us);

  EXPECT_EQ(SheetNames(Path("log.xlsx")), (QStringList{"081226153045", "Chart", "Chart times"}));
  const auto cells = FirstSheetCells(Path("log.xlsx"));
  const QStringList headers{"Time", "Uset", "Iset", "Uout", "Iout", "Pout"};
  for (int col = 0; col < headers.size(); ++col) {
    const QString ref = QChar('A' + col) + QString("1");
    ASSERT_TRUE(cells.count(ref)) << ref.toStdString();
    EXPECT_TRUE(cells.at(ref).IsString);
    EXPECT_EQ(cells.at(ref).Text, headers[col]);
  }
  ASSERT_TRUE(cells.count("A2") && cells.count("A4"));
  EXPECT_TRUE(cells.at("A2").IsString);
  EXPECT_EQ(cells.at("A2").Text, "3:30:45 PM");
  EXPECT_EQ(cells.at("A4").Text, "3:30:51 PM");
  ExpectNumber(cells, "B2", 12.34, "0.00");
  ExpectNumber(cells, "C2", 1.50, "0.00");
  ExpectNumber(cells, "D3", 4.98, "0.00");
  ExpectNumber(cells, "E3", 19.99, "0.00");
  ExpectNumber(cells, "F4", 6993.00, "0.00");
  // The formatted range reaches one row past the entries.
  ASSERT_TRUE(cells.count("B5") && cells.count("F5"));
  EXPECT_EQ(cells.at("F5").NumberFormat, "0.00");
  EXPECT_TRUE(cells.at("F5").Text.isEmpty());
  EXPECT_FALSE(cells.count("A5") || cells.count("G2") || cells.count("B6"));
}

TEST_F(XlsxLog, MilliampereModelsUseThreeDecimals) {
  TDataLog log;
  FillSampleLog(log);
  CurrentDivider = 10;
  log.SaveExcelLogFile("1", Path("mA.xlsx"), us);
  const auto cells = FirstSheetCells(Path("mA.xlsx"));
  ExpectNumber(cells, "B2", 12.34, "0.000");
  ExpectNumber(cells, "C2", 0.150, "0.000");
  ExpectNumber(cells, "E3", 1.999, "0.000");
  ExpectNumber(cells, "F4", 6993.00, "0.000");
}

TEST_F(XlsxLog, EmptyLogHasTheHeaderAndAFormattedSecondRowAndABadNameKeepsTheDefault) {
  TDataLog().SaveExcelLogFile("a[bad]:name", Path("empty.xlsx"), us);
  EXPECT_EQ(SheetNames(Path("empty.xlsx")), (QStringList{"Sheet1", "Chart", "Chart times"}));
  const auto cells = FirstSheetCells(Path("empty.xlsx"));
  EXPECT_EQ(cells.at("F1").Text, "Pout");
  EXPECT_EQ(cells.at("B2").NumberFormat, "0.00");
  EXPECT_EQ(cells.at("F2").NumberFormat, "0.00");
  EXPECT_FALSE(cells.count("A2") || cells.count("B3"));
}

TEST_F(XlsxLog, AChartSheetAfterTheDataDrawsVoltageAndCurrentOnAxesOfTheirOwn) {
  TDataLog log;
  FillSampleLog(log);
  log.SaveExcelLogFile("081226153045", Path("log.xlsx"), us);
  ASSERT_EQ(SheetNames(Path("log.xlsx")), (QStringList{"081226153045", "Chart", "Chart times"}));
  EXPECT_TRUE(PackagePart(Path("log.xlsx"), "xl/_rels/workbook.xml.rels").contains("chartsheets/sheet1.xml"));
  const QString chart = QString::fromUtf8(PackagePart(Path("log.xlsx"), "xl/charts/chart1.xml"));
  ASSERT_FALSE(chart.isEmpty());
  // Date-times along the bottom; output voltage (D) on the left axis, output current (E) in a
  // second group whose value axis stands on the right.
  const qsizetype secondGroup = chart.indexOf("<c:scatterChart>", chart.indexOf("</c:scatterChart>"));
  ASSERT_GT(secondGroup, 0);
  const QString first = chart.left(secondGroup), second = chart.mid(secondGroup);
  EXPECT_EQ(first.count("<c:ser>"), 1);
  EXPECT_TRUE(first.contains("<c:f>'Chart times'!$A$2:$A$4</c:f>")) << first.toStdString();
  EXPECT_TRUE(first.contains("<c:f>'081226153045'!$D$2:$D$4</c:f>"));
  EXPECT_TRUE(first.contains("<c:v>Output voltage, V</c:v>"));
  EXPECT_EQ(second.count("<c:ser>"), 1);
  EXPECT_TRUE(second.contains("<c:f>'Chart times'!$A$2:$A$4</c:f>"));
  EXPECT_TRUE(second.contains("<c:f>'081226153045'!$E$2:$E$4</c:f>"));
  EXPECT_TRUE(second.contains("<c:v>Output current, A</c:v>"));
  // An x and a y axis per group; the second group's x axis hidden, its y axis on the right.
  std::map<QString, QString> axes;  // by position
  for (qsizetype at = chart.indexOf("<c:valAx>"); at >= 0; at = chart.indexOf("<c:valAx>", at + 1)) {
    const QString axis = chart.mid(at, chart.indexOf("</c:valAx>", at) - at);
    const QString position = axis.section("<c:axPos val=\"", 1).left(1);
    axes[axis.contains("<c:delete val=\"1\"/>") ? "hidden" : position] = axis;
  }
  ASSERT_EQ(axes.size(), 4u);
  EXPECT_TRUE(axes["l"].contains("<a:t>Output voltage, V</a:t>"));
  EXPECT_TRUE(axes["r"].contains("<a:t>Output current, A</a:t>"));
  EXPECT_TRUE(axes["b"].contains("<a:t>Time</a:t>"));
  EXPECT_TRUE(chart.contains("<c:numFmt formatCode=\"hh:mm:ss\" sourceLinked=\"0\"/>"))
      << "a log within one day shows times of day";
}

TEST_F(XlsxLog, TheChartsTimeAxisIsToScaleAcrossAGapAndMidnight) {
  // Logging by event: nothing moved for 25 minutes, and the log ran over midnight.
  QDateTime now(QDate(2026, 12, 8), QTime(23, 50, 0));
  TDataLog log;
  log.SetClock([&now] { return now; });
  for (const int step : {0, 1, 25 * 60}) {
    now = now.addSecs(step);
    TCurrentSet data{};
    data.USET = data.UOUT = 1200;
    log.WriteLogData(data);
  }
  log.SaveExcelLogFile("gap", Path("gap.xlsx"), us);
  EXPECT_TRUE(PackagePart(Path("gap.xlsx"), "xl/workbook.xml")
                  .contains("<sheet name=\"Chart times\" sheetId=\"3\" state=\"hidden\""))
      << PackagePart(Path("gap.xlsx"), "xl/workbook.xml").toStdString();
  // The data sheet keeps the times of day as text; the hidden sheet holds the date-times.
  EXPECT_EQ(FirstSheetCells(Path("gap.xlsx")).at("A4").Text, "12:15:01 AM");
  const auto times = WorksheetCells(Path("gap.xlsx"), 2);
  EXPECT_EQ(times.at("A1").Text, "Date and time");
  const double day = 1.0, second = day / 86400;
  // 2026-12-08 is day 46364 of the spreadsheet calendar.
  EXPECT_NEAR(times.at("A2").Text.toDouble(), 46364 + (23 * 3600 + 50 * 60) * second, 1e-9);
  EXPECT_NEAR(times.at("A3").Text.toDouble() - times.at("A2").Text.toDouble(), second, 1e-9);
  EXPECT_NEAR(times.at("A4").Text.toDouble() - times.at("A3").Text.toDouble(), 25 * 60 * second,
              1e-9);
  EXPECT_EQ(times.at("A4").NumberFormat, "yyyy-mm-dd hh:mm:ss.000");
  const QByteArray chart = PackagePart(Path("gap.xlsx"), "xl/charts/chart1.xml");
  EXPECT_TRUE(chart.contains("<c:numFmt formatCode=\"d mmm hh:mm\" sourceLinked=\"0\"/>"))
      << "a log over midnight shows the day";
  EXPECT_FALSE(chart.contains("<c:lineChart>")) << "a line chart spaces entries evenly";
}

TEST_F(XlsxLog, ALogLongerThanAWorksheetIsRefusedBeforeAnythingIsBuilt) {
  std::vector<TLogRecord> entries(kXlsxMaxEntries + 1);
  TDataLog log;
  log.RestoreLog(std::move(entries), 1);
  try {
    log.SaveExcelLogFile("long", Path("long.xlsx"), us);
    ADD_FAILURE() << "saved";
  } catch (const EKelvoraError& error) {
    EXPECT_EQ(error.Text(),
              "The spreadsheet log could not be built: the log has 1048576 entries, more than the "
              "1048575 a worksheet holds; save it in text format instead");
  }
  EXPECT_FALSE(QFile::exists(Path("long.xlsx")));
}
