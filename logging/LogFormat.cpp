#include "logging/LogFormat.h"

#include "logging/DataLog.h"

QString LongTimeFormat(const QLocale& locale) {
  // Drop the zone token ("t", "tt", ...) with the brackets around it ("(t)", "[t]") and the
  // blanks that tie it to the rest; quoted text is copied as it stands.
  const QString format = locale.timeFormat(QLocale::LongFormat);
  const auto next = [&format](qsizetype i) { return i < format.size() ? format.at(i) : QChar(); };
  QString result;
  bool quoted = false;
  for (qsizetype i = 0; i < format.size(); ++i) {
    const QChar ch = format.at(i);
    if (ch == u'\'') quoted = !quoted;
    if (quoted || ch != u't') {
      result += ch;
      continue;
    }
    while (next(i + 1) == u't') ++i;
    if ((result.endsWith(u'(') && next(i + 1) == u')') ||
        (result.endsWith(u'[') && next(i + 1) == u']')) {
      result.chop(1);
      ++i;
    }
    while (result.endsWith(u' ')) result.chop(1);
    while (result.isEmpty() && next(i + 1) == u' ') ++i;
  }
  return result;
}

QString LogTimeText(const QDateTime& moment, const QLocale& locale) {
  return locale.toString(moment.time(), LongTimeFormat(locale));
}

TLogStamp LogStamp(const QDateTime& moment, const QLocale& locale) {
  TLogStamp stamp;
  const QString text =
      locale.toString(moment.date(), QLocale::ShortFormat) + u'_' + LogTimeText(moment, locale);
  for (const QChar ch : text) {
    const bool digit = ch >= u'0' && ch <= u'9';
    stamp.Stamp += digit ? ch : QChar(u'_');
    if (digit) stamp.Digits += ch;
  }
  return stamp;
}

TLogValues LogValues(const TLogRecord& record, int currentDivider) {
  const bool milliamperes = currentDivider == 10;
  const double currentScale = milliamperes ? 1000.0 : 100.0;
  return {record.Uset / 100.0, record.Iset / currentScale, record.Uout / 100.0,
          record.Iout / currentScale, record.Pout / 100.0, milliamperes ? 3 : 2};
}

QLocale GroupedLocale(const QLocale& locale) {
  QLocale grouped = locale;
  grouped.setNumberOptions(grouped.numberOptions() & ~QLocale::OmitGroupSeparator);
  return grouped;
}

QString FormatLogNumber(double value, int decimals, int width, const QLocale& grouped) {
  return grouped.toString(value, 'f', decimals).rightJustified(width, u' ');
}

QString TxtLogLine(const TLogRecord& record, int currentDivider, const QLocale& grouped,
                   const QString& timeFormat) {
  const TLogValues v = LogValues(record, currentDivider);
  const QString gap = QStringLiteral("  ");
  return grouped.toString(record.Time.time(), timeFormat) + gap +
         FormatLogNumber(v.Uset, 2, 5, grouped) + gap +
         FormatLogNumber(v.Iset, v.CurrentDecimals, 5, grouped) + gap +
         FormatLogNumber(v.Uout, 2, 5, grouped) + gap +
         FormatLogNumber(v.Iout, v.CurrentDecimals, 5, grouped) + gap +
         FormatLogNumber(v.Pout, 2, 6, grouped) + gap;
}
