#pragma once
// How log entries read as text: times of day in the locale's long time format and values in
// fixed columns with the locale's separators.

#include <QDateTime>
#include <QLocale>
#include <QString>

struct TLogRecord;

inline const QString kTxtLogHeader = QStringLiteral("Time       Uset   Iset   Uout   Iout    Pout");

// The locale's long time format without its time-zone name.
QString LongTimeFormat(const QLocale& locale);
// Time of day of moment in LongTimeFormat (no date).
QString LogTimeText(const QDateTime& moment, const QLocale& locale);

// Short date, "_", long time; every character but 0..9 becomes "_". Digits: the digits alone.
struct TLogStamp {
  QString Stamp;
  QString Digits;
};
TLogStamp LogStamp(const QDateTime& moment, const QLocale& locale);

// Values as shown: volts and watts with two decimals, amperes with two (CurrentDivider 1) or
// three (CurrentDivider 10).
struct TLogValues {
  double Uset, Iset, Uout, Iout, Pout;
  int CurrentDecimals;
};
TLogValues LogValues(const TLogRecord& record, int currentDivider);

// locale with its thousands separators on, as the log's numbers are written.
QLocale GroupedLocale(const QLocale& locale);
// Fixed point with decimals places and the thousands separators of grouped (a GroupedLocale),
// right-aligned in at least width.
QString FormatLogNumber(double value, int decimals, int width, const QLocale& grouped);
// One line of the text log without its line end; it ends with two spaces. grouped is the
// GroupedLocale and timeFormat the LongTimeFormat of the user's locale, worked out once per file.
QString TxtLogLine(const TLogRecord& record, int currentDivider, const QLocale& grouped,
                   const QString& timeFormat);
