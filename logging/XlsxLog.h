#pragma once
// The log as a spreadsheet workbook: header row "Time" .. "Pout", one row per entry with the time
// of day as text in column A and the values as numbers from B2, all of B2 .. F(N+2) in the
// number format "0.00" (or "0.000" for 1 mA currents). A chart sheet after it draws the output
// voltage and current of the entries against their date-times, kept as numbers on the hidden
// sheet "Chart times" after it, so the time axis is to scale.

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstddef>
#include <functional>
#include <vector>

struct TLogRecord;

// A worksheet's 1 048 576 rows less the header row.
inline constexpr size_t kXlsxMaxEntries = 1048575;

// Told now and then how many of all rows are written; false stops the building.
using TXlsxProgress = std::function<bool(size_t rowsWritten, size_t rows)>;

// The bytes of the .xlsx package. sheetName names the data worksheet when it is a valid sheet
// name, otherwise the default name stays; created is the workbook's creation time. Raises
// EKelvoraError when the workbook cannot be built, at once when the log has more than
// kXlsxMaxEntries entries. Empty when progress stopped it.
QByteArray XlsxLogWorkbook(const std::vector<TLogRecord>& log, const QString& sheetName,
                           int currentDivider, const QLocale& locale, const QDateTime& created,
                           const TXlsxProgress& progress = {});
