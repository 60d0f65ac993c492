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
    Ours,     // a journal of this program: Entries holds every whole entry line
    Foreign,  // not a journal of this program
    Damaged,  // ours, but a whole line in it cannot be read (DamagedLine, counted from 1)
  } State = TState::Ours;
  QDateTime Start;
  std::vector<TLogRecord> Entries;
  int CurrentDivider = 1;  // of the last entry: the scaling a save would have used
  int DamagedLine = 0;
};
// Reads a journal. The text after the last line end is a line the writer did not finish (a crash
// in the middle of a write) and is left out.
TJournalContents ParseJournal(const QByteArray& contents);
