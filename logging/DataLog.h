#pragma once
// The log of set-points and readings taken while an automatic test runs, and its two file forms:
// a fixed-column text file and a spreadsheet workbook.

#include <QDateTime>
#include <QLocale>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "core/UtilUnit.h"
#include "host/JournalFile.h"

class QWidget;
class TLogJournal;

// One entry. The values are kept at the registers' full 32 bits, so an output power above
// 655.35 W is logged as it was read.
struct TLogRecord {
  QDateTime Time;  // local wall-clock moment the entry was taken
  uint32_t Uset;   // 10 mV
  uint32_t Iset;   // model current unit
  uint32_t Uout;   // 10 mV
  uint32_t Iout;   // model current unit
  uint32_t Pout;   // 10 mW
};

class TDataLog {
 public:
  using TClock = std::function<QDateTime()>;
  // Shows a saved workbook to the user; false when no program could open it.
  using TDocumentOpener = std::function<bool(const QString& fileName)>;

  TDataLog();
  ~TDataLog();

  const std::vector<TLogRecord>& LogList() const { return fLogList; }

  // Appends one entry taken from data now.
  void WriteLogData(const TCurrentSet& data);
  // Empties the log. Its journal, if any, stays for the next start to offer: a new log never
  // takes the place of one that was not saved.
  void ClearLogData();
  // Throws the log away on purpose: its journal goes with it.
  void DiscardLogData();
  // From the next entry on, every entry also goes to a journal in folder (see LogJournal.h),
  // which saving or discarding the log removes. A journal that cannot be written is reported
  // once per log, as soon as a line fails; the log goes on in memory. A journal that cannot be
  // removed is reported too. maker makes the journal's files (the platform's when empty).
  void KeepJournalIn(const QString& folder, TJournalFileMaker maker = {});
  // Takes the entries of a log an earlier run recorded at currentDivider; it counts as unsaved
  // and is saved at that scaling, whatever model is connected now.
  void RestoreLog(std::vector<TLogRecord> entries, int currentDivider);
  // Entries were taken since the log was last saved or emptied.
  bool HasUnsavedEntries() const { return fUnsaved; }
  // One second of logging by time. countdown is the caller's count of seconds left (0 at the
  // start of a log): above 0 it is counted down, otherwise an entry is appended and the count
  // restarts at intervalSeconds - 1. True when an entry was appended.
  bool LogByTime(const TCurrentSet& data, int32_t& countdown, int32_t intervalSeconds);
  // One tick of logging by event: appends when a set-point changed since the last entry, or the
  // output voltage (current) moved by more than the threshold of the given item index, measured
  // against the last entry's set voltage (set current). True when an entry was appended.
  bool LogByEvent(const TCurrentSet& data, int uoutThresholdIndex, int ioutThresholdIndex);

  // Both savers replace fileName only once the new file is complete; on failure they raise
  // EKelvoraError and an earlier file of that name stays as it was. They use CurrentDivider for
  // the number of current decimals (or the scaling RestoreLog was given). A workbook's creation
  // time is the clock's present moment.
  void SaveTxtLogFile(const QString& fileName, const QLocale& locale = QLocale()) const;
  // aName becomes the worksheet's name (the default name when it is not a valid sheet name).
  void SaveExcelLogFile(const QString& aName, const QString& fileName,
                        const QLocale& locale = QLocale()) const;
  // Workbooks are written by the program itself, so the spreadsheet format is always offered.
  static bool CheckExcelInstall() { return true; }

  // The test window's "Save": asks for the file name (proposing "Log_<stamp>.txt" or ".xlsx",
  // stamped with the save's moment, or with the start of a log an earlier run recorded), saves
  // as a workbook when the name ends in .xlsx, as text when it ends in .txt and otherwise in the
  // chosen format, and shows a saved workbook. A log too long for a worksheet is refused as a
  // workbook; a workbook is built behind a progress dialog (see WorkbookBuild.h) whose Cancel
  // saves nothing. Failures are shown to the user centred on owner. True when the log was saved;
  // its journal is then removed.
  bool SaveLog(QWidget* owner, bool excel);

  void SetClock(TClock clock) { fClock = std::move(clock); }
  void SetDocumentOpener(TDocumentOpener opener) { fDocumentOpener = std::move(opener); }

 private:
  int Divider() const { return fRestoredDivider.value_or(CurrentDivider); }
  void JournalEntry();
  void JournalFailed(const QString& reason);
  // False, with failure the end of a sentence for the user, when the journal stays on disk.
  bool DiscardJournal(QString& failure);
  void Saved(QWidget* owner);

  std::vector<TLogRecord> fLogList;
  std::optional<int> fRestoredDivider;
  std::unique_ptr<TLogJournal> fJournal;
  bool fJournalFailed = false;
  bool fUnsaved = false;
  TClock fClock;
  // Where the next "Save" proposes the file: the folder of the last save, at first the user's
  // documents folder (never the program's own folder, which may not be writable).
  QString fLogFolder;
  TDocumentOpener fDocumentOpener;
};
