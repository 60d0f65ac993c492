#include "logging/XlsxLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <array>
#include <optional>

#include "core/ErrorReport.h"
#include "logging/DataLog.h"
#include "logging/LogFormat.h"
#include "logging/XlsxChartPart.h"
#include "logging/ZipArchive.h"

namespace {
// Remembers the first failing call so the workbook is always closed (and freed) exactly once.
class TWorkbookErrors {
 public:
  void Check(lxw_error error) {
    if (fFirst == LXW_NO_ERROR) fFirst = error;
  }
  lxw_error First() const { return fFirst; }

 private:
  lxw_error fFirst = LXW_NO_ERROR;
};

// Rows written of both sheets, told every so many rows; a false answer stops the building.
class TRowProgress {
 public:
  TRowProgress(const TXlsxProgress& tell, size_t total) : fTell(tell), fTotal(total) {}
  // False once the building is to stop.
  bool Row() {
    constexpr size_t kEvery = 4096;
    if (++fDone % kEvery == 0 && fTell && !fTell(fDone, fTotal)) fCancelled = true;
    return !fCancelled;
  }
  bool Cancelled() const { return fCancelled; }

 private:
  const TXlsxProgress& fTell;
  const size_t fTotal;
  size_t fDone = 0;
  bool fCancelled = false;
};

void FillSheet(lxw_workbook* workbook, lxw_worksheet* sheet, const std::vector<TLogRecord>& log,
               int currentDivider, const QLocale& locale, TWorkbookErrors& errors,
               TRowProgress& progress) {
  lxw_format* number = workbook_add_format(workbook);
  format_set_num_format(number, currentDivider == 10 ? "0.000" : "0.00");

  // Wide enough for a time of day with its AM/PM marker; the value cells beside it would clip it.
  errors.Check(worksheet_set_column(sheet, 0, 0, 12, nullptr));
  constexpr std::array<const char*, 6> headers{"Time", "Uset", "Iset", "Uout", "Iout", "Pout"};
  for (lxw_col_t col = 0; col < headers.size(); ++col)
    errors.Check(worksheet_write_string(sheet, 0, col, headers[col], nullptr));

  lxw_row_t row = 1;
  for (const TLogRecord& record : log) {
    errors.Check(worksheet_write_string(sheet, row, 0,
                                        LogTimeText(record.Time, locale).toUtf8().constData(),
                                        nullptr));
    const TLogValues v = LogValues(record, currentDivider);
    const std::array<double, 5> values{v.Uset, v.Iset, v.Uout, v.Iout, v.Pout};
    for (lxw_col_t col = 0; col < values.size(); ++col)
      errors.Check(worksheet_write_number(sheet, row, col + 1, values[col], number));
    ++row;
    if (!progress.Row()) return;
  }
  // The formatted range reaches one row past the entries (B2:F2 for an empty log), when the
  // sheet has that row.
  for (lxw_col_t col = 1; col <= 5 && row < LXW_ROW_MAX; ++col)
    errors.Check(worksheet_write_blank(sheet, row, col, number));
}

const char* const kCurrentAxisTitle = "Output current, A";
const char* const kTimesSheet = "Chart times";

// Days since 1899-12-30, the spreadsheet programs' date-time numbers, of the moment's own wall
// clock (the time of day the log shows).
double SerialDateTime(const QDateTime& moment) {
  constexpr qint64 kEpochJulianDay = 2415019;  // 1899-12-30
  return static_cast<double>(moment.date().toJulianDay() - kEpochJulianDay) +
         moment.time().msecsSinceStartOfDay() / 86400000.0;
}

// The entries' moments as date-time numbers, row for row beside the data sheet's, on a hidden
// sheet: the chart's time axis is to scale, and the data sheet keeps its columns.
void AddTimesSheet(lxw_workbook* workbook, const std::vector<TLogRecord>& log,
                   TWorkbookErrors& errors, TRowProgress& progress) {
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, kTimesSheet);
  if (!sheet) {
    errors.Check(LXW_ERROR_MEMORY_MALLOC_FAILED);
    return;
  }
  lxw_format* moment = workbook_add_format(workbook);
  format_set_num_format(moment, "yyyy-mm-dd hh:mm:ss.000");
  errors.Check(worksheet_set_column(sheet, 0, 0, 24, nullptr));
  errors.Check(worksheet_write_string(sheet, 0, 0, "Date and time", nullptr));
  lxw_row_t row = 1;
  worksheet_hide(sheet);
  for (const TLogRecord& record : log) {
    errors.Check(worksheet_write_number(sheet, row++, 0, SerialDateTime(record.Time), moment));
    if (!progress.Row()) return;
  }
}

// A scatter chart with lines of the output voltage and current (columns D and E) against the
// entries' date-times, on a chart sheet of its own after the data sheet.
void AddChartSheet(lxw_workbook* workbook, const char* dataSheet,
                   const std::vector<TLogRecord>& log, TWorkbookErrors& errors) {
  lxw_chartsheet* chartsheet = workbook_add_chartsheet(workbook, "Chart");
  lxw_chart* chart = workbook_add_chart(workbook, LXW_CHART_SCATTER_STRAIGHT);
  if (!chartsheet || !chart) {
    errors.Check(LXW_ERROR_MEMORY_MALLOC_FAILED);
    return;
  }
  // An empty log still gets a chart, over the one formatted row below the header.
  const lxw_row_t last = static_cast<lxw_row_t>(log.empty() ? 1 : log.size());
  struct TSeries {
    const char* Name;
    lxw_col_t Column;
    lxw_color_t Color;
  };
  // The current comes last: it moves to the second axis.
  for (const TSeries& s : {TSeries{"Output voltage, V", 3, 0x1F4E9A},
                           TSeries{kCurrentAxisTitle, 4, 0xC0392B}}) {
    lxw_chart_series* series = chart_add_series(chart, nullptr, nullptr);
    chart_series_set_categories(series, kTimesSheet, 1, 0, last, 0);
    chart_series_set_values(series, dataSheet, 1, s.Column, last, s.Column);
    chart_series_set_name(series, s.Name);
    lxw_chart_line line{};
    line.color = s.Color;
    line.width = 1.5;
    chart_series_set_line(series, &line);
  }
  chart_title_set_name(chart, "Output voltage and current");
  chart_axis_set_name(chart->x_axis, "Time");
  // A log over midnight shows the day at each mark.
  const bool oneDay = log.empty() || log.front().Time.date() == log.back().Time.date();
  chart_axis_set_num_format(chart->x_axis, oneDay ? "hh:mm:ss" : "d mmm hh:mm");
  // Slanted, so the longer marks with the day do not run into each other.
  lxw_chart_font marks{};
  marks.rotation = -45;
  if (!oneDay) chart_axis_set_num_font(chart->x_axis, &marks);
  chart_axis_set_name(chart->y_axis, "Output voltage, V");
  chart_legend_set_position(chart, LXW_CHART_LEGEND_BOTTOM);
  // A chart reads best across the page when printed.
  chartsheet_set_landscape(chartsheet);
  errors.Check(chartsheet_set_chart(chartsheet, chart));
}

[[noreturn]] void Fail(const QString& reason) {
  throw EKelvoraError(QStringLiteral("The spreadsheet log could not be built: %1").arg(reason));
}
}  // namespace

QByteArray XlsxLogWorkbook(const std::vector<TLogRecord>& log, const QString& sheetName,
                           int currentDivider, const QLocale& locale, const QDateTime& created,
                           const TXlsxProgress& progress) {
  if (log.size() > kXlsxMaxEntries)
    Fail(QStringLiteral("the log has %1 entries, more than the %2 a worksheet holds; save it in "
                        "text format instead")
             .arg(log.size())
             .arg(kXlsxMaxEntries));
  // The writer only writes to a named file: build the package in a private folder and hand back
  // its bytes, so the caller decides how the real file is replaced.
  QTemporaryDir folder;
  if (!folder.isValid()) Fail(folder.errorString());
  const QString path = folder.filePath(QStringLiteral("log.xlsx"));

  // Rows go to the package's files as they are written instead of staying in memory: a
  // worksheet-long log would otherwise take gigabytes. The rows are written in order, as that
  // mode needs; its temporary files stay in the private folder.
  const QByteArray temporary = QFile::encodeName(folder.path());
  lxw_workbook_options options{};
  options.constant_memory = LXW_TRUE;
  options.tmpdir = const_cast<char*>(temporary.constData());
  lxw_workbook* workbook =
      workbook_new_opt(QFile::encodeName(path).constData(), &options);
  if (!workbook) Fail(QStringLiteral("no workbook could be created"));
  // The package holds no other moment, so the same log saved at the same moment gives the same
  // bytes.
  lxw_doc_properties properties{};
  properties.created = static_cast<time_t>(created.toSecsSinceEpoch());
  TWorkbookErrors errors;
  errors.Check(workbook_set_properties(workbook, &properties));

  const QByteArray name = sheetName.toUtf8();
  const bool validName =
      !name.isEmpty() && workbook_validate_sheet_name(workbook, name.constData()) == LXW_NO_ERROR;
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, validName ? name.constData() : nullptr);

  // Closing the workbook frees its sheets.
  const QByteArray dataSheetName = sheet ? QByteArray(sheet->name) : QByteArray();
  TRowProgress rows(progress, 2 * log.size());
  if (sheet) {
    FillSheet(workbook, sheet, log, currentDivider, locale, errors, rows);
    AddChartSheet(workbook, sheet->name, log, errors);
    if (!rows.Cancelled()) AddTimesSheet(workbook, log, errors, rows);
  } else {
    errors.Check(LXW_ERROR_MEMORY_MALLOC_FAILED);
  }
  errors.Check(workbook_close(workbook));
  if (rows.Cancelled()) return {};
  if (errors.First() != LXW_NO_ERROR) Fail(QString::fromUtf8(lxw_strerror(errors.First())));

  QFile built(path);
  if (!built.open(QIODevice::ReadOnly)) Fail(built.errorString());
  QByteArray package = built.readAll();
  // The current's scale is far from the voltage's: it gets an axis of its own.
  const QByteArray chartPart = "xl/charts/chart1.xml";
  std::optional<QByteArray> chart = ReadZipEntry(package, chartPart);
  if (!chart || !MoveLastSeriesToSecondAxis(*chart, kCurrentAxisTitle))
    Fail(QStringLiteral("the chart's current axis could not be added"));
  QuoteSheetInFormulas(*chart, dataSheetName);
  if (!ReplaceZipEntry(package, chartPart, *chart))
    Fail(QStringLiteral("the chart could not be put back in the workbook"));
  return package;
}
