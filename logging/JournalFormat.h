#pragma once
// The text of a log journal (the format is described in docs/log-journal.md): a header line with
// the moment the log started, then one line per entry with its moment, its five register values
// and the current scaling of the model it was read from. Lines end with LF.

#include <QByteArray>
#include <QDateTime>

#include <vector>

#include "logging/DataLog.h"

inline const QByteArray kJournalMagic = QByteArrayLiteral("kelvora-log-journal");
inline constexpr int kJournalVersion = 1;

// "kelvora-log-journal 1 <start>\n".
QByteArray JournalHeader(const QDateTime& start);
// "<moment> <Uset> <Iset> <Uout> <Iout> <Pout> <CurrentDivider>\n".
QByteArray JournalLine(const TLogRecord& entry, int currentDivider);

struct TJournalContents {
  enum class TState {
    Ours,     // a journal of this program: Entries holds every whole entry line that reads
    Foreign,  // not a journal of this program
    Newer,    // a journal of a later format (Version), which this program does not read
  } State = TState::Ours;
  int Version = kJournalVersion;
  QDateTime Start;  // the header's; the first entry's when the header is damaged
  std::vector<TLogRecord> Entries;
  int CurrentDivider = 1;  // of the last entry: the scaling a save would have used
  // Whole lines that do not read as the format says (damage by a power cut, a disk or a hand),
  // left out of Entries: how many, and the first few of their numbers, counted from 1.
  int DamagedLines = 0;
  std::vector<int> FirstDamagedLines;
};
// How many damaged line numbers TJournalContents keeps.
inline constexpr size_t kKeptDamagedLines = 5;
// Reads a journal. The text after the last line end is a line the writer did not finish (a crash
// in the middle of a write) and is left out. Lines may end with CR LF (a copy through another
// system).
TJournalContents ParseJournal(const QByteArray& contents);
