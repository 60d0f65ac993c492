#pragma once
// What the chart part libxlsxwriter 1.1.4 (Debian 12) writes still lacks: that version draws
// every series of a chart against one value axis, and leaves a sheet name of digits alone
// unquoted in the series' formulas, where spreadsheet programs want it quoted.

#include <QByteArray>

// Quotes sheetName in the chart's formulas ("081226153045!$A$2" becomes "'081226153045'!$A$2").
void QuoteSheetInFormulas(QByteArray& chartXml, const QByteArray& sheetName);

// Moves a scatter chart's last series onto a value axis of its own on the right, the way
// spreadsheet programs write one: a second scatter chart group holding the series, over a hidden
// x axis and a value axis that crosses at the far end.
// title names the new axis. False, with chartXml unchanged, when the part is not a scatter chart
// of two or more series as libxlsxwriter writes one.
bool MoveLastSeriesToSecondAxis(QByteArray& chartXml, const QByteArray& title);
