#pragma once
// The log as a spreadsheet workbook: header row "Time" .. "Pout", one row per entry with the time
// of day as text in column A and the values as numbers from B2, all of B2 .. F(N+2) in the
// number format "0.00" (or "0.000" for 1 mA currents). A chart sheet after it draws the output
// voltage and current of the entries against their times.

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <vector>

struct TLogRecord;

// The bytes of the .xlsx package. sheetName names the only worksheet when it is a valid sheet
// name, otherwise the default name stays; created is the workbook's creation time. Raises
// EKelvoraError when the workbook cannot be built.
QByteArray XlsxLogWorkbook(const std::vector<TLogRecord>& log, const QString& sheetName,
                           int currentDivider, const QLocale& locale, const QDateTime& created);
