#include "logging/JournalFormat.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace {
constexpr int kMomentLength = 29;  // 2026-12-09T20:37:28.123+01:00

// Local wall-clock time to the millisecond with the offset from UTC it had, so the time of day
// reads back exactly as it was shown, whatever time zone the next start runs in.
void AppendMoment(QByteArray& out, const QDateTime& moment) {
  const QDate d = moment.date();
  const QTime t = moment.time();
  const int offset = moment.offsetFromUtc() / 60;
  const int absOffset = std::abs(offset);
  char text[48];
  const int n = std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03d%c%02d:%02d",
                              d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second(),
                              t.msec(), offset < 0 ? '-' : '+', absOffset / 60, absOffset % 60);
  out.append(text, n);
}

// Digits at text[at .. at + count) as a number; -1 when any is not a digit.
int Digits(const char* text, int at, int count) {
  int value = 0;
  for (int i = at; i < at + count; ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

bool ParseMoment(const char* text, const char* end, QDateTime& moment) {
  if (end - text != kMomentLength) return false;
  const auto is = [text](int at, char c) { return text[at] == c; };
  if (!is(4, '-') || !is(7, '-') || !is(10, 'T') || !is(13, ':') || !is(16, ':') || !is(19, '.') ||
      !(is(23, '+') || is(23, '-')) || !is(26, ':'))
    return false;
  const int fields[] = {Digits(text, 0, 4),  Digits(text, 5, 2),  Digits(text, 8, 2),
                        Digits(text, 11, 2), Digits(text, 14, 2), Digits(text, 17, 2),
                        Digits(text, 20, 3), Digits(text, 24, 2), Digits(text, 27, 2)};
  for (const int f : fields)
    if (f < 0) return false;
  const QDate date(fields[0], fields[1], fields[2]);
  const QTime time(fields[3], fields[4], fields[5], fields[6]);
  if (!date.isValid() || !time.isValid() || fields[8] > 59) return false;
  const int offset = (is(23, '-') ? -1 : 1) * (fields[7] * 3600 + fields[8] * 60);
  moment = QDateTime(date, time, Qt::OffsetFromUTC, offset);
  return moment.isValid();
}

// The next field of line (up to a blank or the end).
const char* FieldEnd(const char* at, const char* end) {
  while (at < end && *at != ' ') ++at;
  return at;
}

bool ParseEntry(const char* at, const char* end, TLogRecord& entry, int& divider) {
  const char* field = FieldEnd(at, end);
  if (!ParseMoment(at, field, entry.Time)) return false;
  uint32_t* const values[] = {&entry.Uset, &entry.Iset, &entry.Uout, &entry.Iout, &entry.Pout};
  for (uint32_t* value : values) {
    if (field == end) return false;
    at = field + 1;
    field = FieldEnd(at, end);
    const auto [stop, error] = std::from_chars(at, field, *value);
    if (error != std::errc() || stop != field || at == field) return false;
  }
  if (field == end) return false;
  at = field + 1;
  const auto [stop, error] = std::from_chars(at, end, divider);
  return error == std::errc() && stop == end && at != end && (divider == 1 || divider == 10);
}

// The header's format version; 0 when the line does not begin with the magic word and a number.
int HeaderVersion(const char* at, const char* end) {
  const QByteArray prefix = kJournalMagic + ' ';
  if (end - at <= prefix.size() || !QByteArray(at, prefix.size()).startsWith(prefix)) return 0;
  at += prefix.size();
  int version = 0;
  const auto [stop, error] = std::from_chars(at, end, version);
  return error == std::errc() && stop < end && *stop == ' ' && version > 0 ? version : 0;
}

bool ParseHeader(const char* at, const char* end, QDateTime& start) {
  const QByteArray prefix = kJournalMagic + ' ' + QByteArray::number(kJournalVersion) + ' ';
  if (end - at < prefix.size() || !QByteArray(at, prefix.size()).startsWith(prefix)) return false;
  return ParseMoment(at + prefix.size(), end, start);
}

void CountDamaged(TJournalContents& journal, int lineNumber) {
  ++journal.DamagedLines;
  if (journal.FirstDamagedLines.size() < kKeptDamagedLines)
    journal.FirstDamagedLines.push_back(lineNumber);
}

// The end of the line's text: before its LF, and before a CR that precedes it.
const char* TextEnd(const char* at, const char* lineEnd) {
  return lineEnd > at && lineEnd[-1] == '\r' ? lineEnd - 1 : lineEnd;
}
}  // namespace

QByteArray JournalHeader(const QDateTime& start) {
  QByteArray line = kJournalMagic + ' ' + QByteArray::number(kJournalVersion) + ' ';
  AppendMoment(line, start);
  line += '\n';
  return line;
}

QByteArray JournalLine(const TLogRecord& entry, int currentDivider) {
  QByteArray line;
  line.reserve(72);
  AppendMoment(line, entry.Time);
  char text[80];
  const int n = std::snprintf(text, sizeof text, " %u %u %u %u %u %d\n", entry.Uset, entry.Iset,
                              entry.Uout, entry.Iout, entry.Pout, currentDivider);
  line.append(text, n);
  return line;
}

TJournalContents ParseJournal(const QByteArray& contents) {
  TJournalContents journal;
  const char* at = contents.constData();
  const char* const end = at + contents.size();
  const char* lineEnd = std::find(at, end, '\n');
  if (lineEnd == end) {
    // Not even the header was finished: ours when what is there is the start of one.
    const QByteArray head = contents.left(kJournalMagic.size());
    if (!kJournalMagic.startsWith(head)) journal.State = TJournalContents::TState::Foreign;
    return journal;
  }
  if (!contents.startsWith(kJournalMagic + ' ')) {
    journal.State = TJournalContents::TState::Foreign;
    return journal;
  }
  const int version = HeaderVersion(at, lineEnd);
  if (version > kJournalVersion) {
    journal.State = TJournalContents::TState::Newer;
    journal.Version = version;
    return journal;
  }
  // A damaged header costs only its start: the entries carry their own moments.
  const bool headerRead = ParseHeader(at, TextEnd(at, lineEnd), journal.Start);
  if (!headerRead) CountDamaged(journal, 1);
  journal.Entries.reserve(static_cast<size_t>(contents.size() / 60));
  int lineNumber = 1;
  for (at = lineEnd + 1; (lineEnd = std::find(at, end, '\n')) != end; at = lineEnd + 1) {
    ++lineNumber;
    TLogRecord entry{};
    int divider = 1;
    if (!ParseEntry(at, TextEnd(at, lineEnd), entry, divider)) {
      CountDamaged(journal, lineNumber);
      continue;
    }
    journal.Entries.push_back(entry);
    journal.CurrentDivider = divider;
  }
  if (!headerRead && !journal.Entries.empty()) journal.Start = journal.Entries.front().Time;
  return journal;
}
