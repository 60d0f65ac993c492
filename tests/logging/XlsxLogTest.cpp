#include <gtest/gtest.h>

#include <QTemporaryDir>

#include "logging/DataLog.h"
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

  EXPECT_EQ(SheetNames(Path("log.xlsx")), (QStringList{"081226153045", "Chart"}));
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
  EXPECT_EQ(SheetNames(Path("empty.xlsx")), (QStringList{"Sheet1", "Chart"}));
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
  ASSERT_EQ(SheetNames(Path("log.xlsx")), (QStringList{"081226153045", "Chart"}));
  EXPECT_TRUE(PackagePart(Path("log.xlsx"), "xl/_rels/workbook.xml.rels").contains("chartsheets/sheet1.xml"));
  const QString chart = QString::fromUtf8(PackagePart(Path("log.xlsx"), "xl/charts/chart1.xml"));
  ASSERT_FALSE(chart.isEmpty());
  // Times along the bottom; output voltage (D) on the left axis, output current (E) in a second
  // group whose value axis stands on the right.
  const qsizetype secondGroup = chart.indexOf("<c:lineChart>", chart.indexOf("</c:lineChart>"));
  ASSERT_GT(secondGroup, 0);
  const QString first = chart.left(secondGroup), second = chart.mid(secondGroup);
  EXPECT_EQ(first.count("<c:ser>"), 1);
  EXPECT_TRUE(first.contains("<c:f>'081226153045'!$A$2:$A$4</c:f>"));
  EXPECT_TRUE(first.contains("<c:f>'081226153045'!$D$2:$D$4</c:f>"));
  EXPECT_TRUE(first.contains("<c:v>Output voltage, V</c:v>"));
  EXPECT_EQ(second.count("<c:ser>"), 1);
  EXPECT_TRUE(second.contains("<c:f>'081226153045'!$A$2:$A$4</c:f>"));
  EXPECT_TRUE(second.contains("<c:f>'081226153045'!$E$2:$E$4</c:f>"));
  EXPECT_TRUE(second.contains("<c:v>Output current, A</c:v>"));
  EXPECT_EQ(chart.count("<c:valAx>"), 2);
  const qsizetype rightAxis = chart.indexOf("<c:axPos val=\"r\"/>");
  ASSERT_GT(rightAxis, chart.lastIndexOf("<c:valAx>")) << "the second value axis stands on the right";
  EXPECT_TRUE(chart.mid(rightAxis).contains("<a:t>Output current, A</a:t>"));
  EXPECT_TRUE(chart.left(chart.lastIndexOf("<c:valAx>")).contains("<a:t>Output voltage, V</a:t>"));
}
