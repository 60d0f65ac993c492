#pragma once
// A log's workbook built on a thread of its own while a progress dialog over the window shows
// how far it is: the window goes on (its display, its logging) and the user can cancel. A short
// log is done before the dialog would show.

#include <QByteArray>
#include <QDateTime>
#include <QLocale>
#include <QString>

#include <optional>
#include <vector>

#include "logging/DataLog.h"

class QWidget;

// The package XlsxLogWorkbook builds of log (a copy: the log may grow meanwhile); nothing when
// the user cancelled. Raises what XlsxLogWorkbook raises.
std::optional<QByteArray> BuildWorkbookShowingProgress(QWidget* owner, std::vector<TLogRecord> log,
                                                       const QString& sheetName,
                                                       int currentDivider, const QLocale& locale,
                                                       const QDateTime& created);
