#include "features/XlsxLog.h"

#include <QFile>
#include <QTemporaryDir>

#include <xlsxwriter.h>

#include <array>

#include "core/ErrorReport.h"
#include "features/DataLog.h"
#include "features/LogFormat.h"

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

void FillSheet(lxw_workbook* workbook, lxw_worksheet* sheet, const std::vector<TLogRecord>& log,
               int currentDivider, const QLocale& locale, TWorkbookErrors& errors) {
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
  }
  // The formatted range reaches one row past the entries (B2:F2 for an empty log).
  for (lxw_col_t col = 1; col <= 5; ++col)
    errors.Check(worksheet_write_blank(sheet, row, col, number));
}

[[noreturn]] void Fail(const QString& reason) {
  throw EKelvoraError(QStringLiteral("The spreadsheet log could not be built: %1").arg(reason));
}
}  // namespace

QByteArray XlsxLogWorkbook(const std::vector<TLogRecord>& log, const QString& sheetName,
                           int currentDivider, const QLocale& locale) {
  // The writer only writes to a named file: build the package in a private folder and hand back
  // its bytes, so the caller decides how the real file is replaced.
  QTemporaryDir folder;
  if (!folder.isValid()) Fail(folder.errorString());
  const QString path = folder.filePath(QStringLiteral("log.xlsx"));

  lxw_workbook* workbook = workbook_new(QFile::encodeName(path).constData());
  if (!workbook) Fail(QStringLiteral("no workbook could be created"));

  const QByteArray name = sheetName.toUtf8();
  const bool validName =
      !name.isEmpty() && workbook_validate_sheet_name(workbook, name.constData()) == LXW_NO_ERROR;
  lxw_worksheet* sheet = workbook_add_worksheet(workbook, validName ? name.constData() : nullptr);

  TWorkbookErrors errors;
  if (sheet)
    FillSheet(workbook, sheet, log, currentDivider, locale, errors);
  else
    errors.Check(LXW_ERROR_MEMORY_MALLOC_FAILED);
  errors.Check(workbook_close(workbook));
  if (errors.First() != LXW_NO_ERROR) Fail(QString::fromUtf8(lxw_strerror(errors.First())));

  QFile built(path);
  if (!built.open(QIODevice::ReadOnly)) Fail(built.errorString());
  return built.readAll();
}
