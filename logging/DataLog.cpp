#include "logging/DataLog.h"

#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

#include "core/Dialogs.h"
#include "core/ErrorReport.h"
#include "logging/LogFormat.h"
#include "logging/LogJournal.h"
#include "logging/LogOptions.h"
#include "logging/XlsxLog.h"

namespace {
// Whether a reading moved by more than the threshold of item index k since the last entry,
// measured in whole percent (truncated) of the reference set value.
bool ChangeExceeds(uint32_t previous, uint32_t present, uint32_t reference, int k) {
  if (k >= kThresholdNever || present == previous) return false;
  if (k == 0) return true;
  // Against a zero set value every movement is beyond any percentage.
  if (reference == 0) return true;
  const uint64_t change = present > previous ? present - previous : previous - present;
  return change * 100 / reference > static_cast<uint64_t>(k);
}

// Writes the whole file beside the old one and only then puts it in its place, so a failed
// save leaves an earlier file as it was.
void SaveFileContents(const QString& fileName, const QByteArray& contents) {
  QSaveFile file(fileName);
  const auto fail = [&fileName](const QString& reason) {
    throw EKelvoraError(QStringLiteral("The log could not be saved to \"%1\": %2.\n"
                                       "An earlier file of that name, if any, is left as it was.")
                            .arg(QDir::toNativeSeparators(fileName), reason));
  };
  if (!file.open(QIODevice::WriteOnly)) fail(file.errorString());
  if (file.write(contents) != contents.size()) fail(file.errorString());
  if (!file.commit()) fail(file.errorString());
}

bool OpenWithDesktop(const QString& fileName) {
  return QDesktopServices::openUrl(QUrl::fromLocalFile(fileName));
}
}  // namespace

TDataLog::TDataLog() : fClock(&QDateTime::currentDateTime), fDocumentOpener(&OpenWithDesktop) {}

TDataLog::~TDataLog() = default;

void TDataLog::WriteLogData(const TCurrentSet& data) {
  fLogList.push_back({fClock(), data.USET, data.ISET, data.UOUT, data.IOUT, data.POWER});
  fUnsaved = true;
  JournalEntry();
}

void TDataLog::JournalEntry() {
  if (!fJournal || fJournalFailed) return;
  // After a save the journal was removed: the next entry starts a new one with the whole log.
  const bool written = fJournal->IsOpen() ? fJournal->Append(fLogList.back(), CurrentDivider)
                                          : fJournal->Begin(fLogList, CurrentDivider);
  if (written) return;
  // The journal stays open with the whole lines that reached it: they can still be recovered
  // after a crash, and a save or a discard still removes them.
  fJournalFailed = true;
  ReportError(QStringLiteral("The log cannot be kept safe on the disk: %1.\n"
                             "It goes on in memory only; save it before closing the program.")
                  .arg(fJournal->ErrorText()));
}

void TDataLog::ClearLogData() {
  if (fJournal) fJournal->Keep();
  fJournalFailed = false;
  fLogList.clear();
  fRestoredDivider.reset();
  fUnsaved = false;
}

void TDataLog::DiscardLogData() {
  if (fJournal) fJournal->Discard();
  ClearLogData();
}

void TDataLog::KeepJournalIn(const QString& folder) {
  fJournal = std::make_unique<TLogJournal>(folder);
}

void TDataLog::RestoreLog(std::vector<TLogRecord> entries, int currentDivider) {
  ClearLogData();
  fLogList = std::move(entries);
  fRestoredDivider = currentDivider;
  fUnsaved = true;
}

void TDataLog::Saved() {
  fUnsaved = false;
  fJournalFailed = false;
  if (fJournal) fJournal->Discard();
}

bool TDataLog::LogByTime(const TCurrentSet& data, int32_t& countdown, int32_t intervalSeconds) {
  if (countdown > 0) {
    --countdown;
    return false;
  }
  WriteLogData(data);
  countdown = intervalSeconds - 1;
  return true;
}

bool TDataLog::LogByEvent(const TCurrentSet& data, int uoutThresholdIndex,
                          int ioutThresholdIndex) {
  if (fLogList.empty()) return false;
  const TLogRecord& last = fLogList.back();
  const bool setChanged = data.USET != last.Uset || data.ISET != last.Iset;
  const int uoutK =
      StoredLogIndex(uoutThresholdIndex, kThresholdItemCount, kDefaultUoutThresholdIndex);
  const int ioutK =
      StoredLogIndex(ioutThresholdIndex, kThresholdItemCount, kDefaultIoutThresholdIndex);
  if (!setChanged && !ChangeExceeds(last.Uout, data.UOUT, last.Uset, uoutK) &&
      !ChangeExceeds(last.Iout, data.IOUT, last.Iset, ioutK))
    return false;
  WriteLogData(data);
  return true;
}

void TDataLog::SaveTxtLogFile(const QString& fileName, const QLocale& locale) const {
  const QString lineEnd = QStringLiteral("\r\n");
  QString text = kTxtLogHeader + lineEnd;
  const QLocale grouped = GroupedLocale(locale);
  const QString timeFormat = LongTimeFormat(locale);
  for (const TLogRecord& record : fLogList)
    text += TxtLogLine(record, Divider(), grouped, timeFormat) + lineEnd;
  SaveFileContents(fileName, text.toLocal8Bit());
}

void TDataLog::SaveExcelLogFile(const QString& aName, const QString& fileName,
                                const QLocale& locale) const {
  SaveFileContents(fileName, XlsxLogWorkbook(fLogList, aName, Divider(), locale, fClock()));
}

bool TDataLog::SaveLog(QWidget* owner, bool excel) {
  const QLocale locale;
  const TLogStamp stamp = LogStamp(fClock(), locale);
  const QString extension = excel ? QStringLiteral(".xlsx") : QStringLiteral(".txt");
  const QString filter = excel ? QStringLiteral("Excel workbook (*.xlsx)")
                               : QStringLiteral("Text file format (*.txt)");
  if (fLogFolder.isEmpty()) {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    fLogFolder = QFileInfo(documents).isDir() ? documents : QDir::homePath();
  }
  QString fileName = AskSaveFileName(owner, QStringLiteral("Save Log"),
                                     QDir(fLogFolder).filePath(QStringLiteral("Log_") + stamp.Stamp + extension),
                                     filter);
  if (fileName.isEmpty()) return false;
  fLogFolder = QFileInfo(fileName).absolutePath();
  if (QFileInfo(fileName).suffix().isEmpty()) fileName += extension;
  try {
    if (!excel) {
      SaveTxtLogFile(fileName, locale);
      Saved();
      return true;
    }
    SaveExcelLogFile(stamp.Digits, fileName, locale);
    Saved();
  } catch (const EKelvoraError& error) {
    ShowCenteredMessage(owner, error.Text(), TMsgKind::Error);
    return false;
  }
  if (!fDocumentOpener(fileName))
    ShowCenteredMessage(owner,
                        QStringLiteral("The log was saved to \"%1\", but no program could open it.")
                            .arg(QDir::toNativeSeparators(fileName)),
                        TMsgKind::Warning);
  return true;
}
