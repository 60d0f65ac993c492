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
#include "logging/WorkbookBuild.h"
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
  if (!written) JournalFailed(fJournal->ErrorText());
}

void TDataLog::JournalFailed(const QString& reason) {
  // The journal stays open with the whole lines that reached it: they can still be recovered
  // after a crash, and a save or a discard still removes them.
  if (fJournalFailed) return;
  fJournalFailed = true;
  ReportError(QStringLiteral("The log cannot be kept safe on the disk: %1.\n"
                             "It goes on in memory only; save it before closing the program.")
                  .arg(reason));
}

bool TDataLog::DiscardJournal(QString& failure) {
  if (!fJournal || !fJournal->IsOpen()) return true;
  const QString path = fJournal->Path();
  if (fJournal->Discard()) return true;
  failure = QStringLiteral("its journal \"%1\" could not be removed: %2.\n"
                           "The next start offers the log again.")
                .arg(QDir::toNativeSeparators(path), fJournal->ErrorText());
  return false;
}

void TDataLog::ClearLogData() {
  if (fJournal) fJournal->Keep();
  fJournalFailed = false;
  fLogList.clear();
  fRestoredDivider.reset();
  fUnsaved = false;
}

void TDataLog::DiscardLogData() {
  QString failure;
  if (!DiscardJournal(failure)) ReportError(QStringLiteral("The log was thrown away, but ") + failure);
  ClearLogData();
}

void TDataLog::KeepJournalIn(const QString& folder, TJournalFileMaker maker) {
  fJournal = std::make_unique<TLogJournal>(folder, std::move(maker));
  fJournal->SetFailureHandler([this](const QString& reason) { JournalFailed(reason); });
}

void TDataLog::RestoreLog(std::vector<TLogRecord> entries, int currentDivider) {
  ClearLogData();
  fLogList = std::move(entries);
  fRestoredDivider = currentDivider;
  fUnsaved = true;
}

void TDataLog::Saved(QWidget* owner) {
  fUnsaved = false;
  fJournalFailed = false;
  QString failure;
  if (!DiscardJournal(failure))
    ShowCenteredMessage(owner, QStringLiteral("The log was saved, but ") + failure,
                        TMsgKind::Warning);
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
  const QString tooLong =
      QStringLiteral("The log has %1 entries, more than the %2 a worksheet holds.\n"
                     "Save it in text format instead.")
          .arg(locale.toString(static_cast<qlonglong>(fLogList.size())),
               locale.toString(static_cast<qlonglong>(kXlsxMaxEntries)));
  const bool fitsWorkbook = fLogList.size() <= kXlsxMaxEntries;
  if (excel && !fitsWorkbook) {
    ShowCenteredMessage(owner, tooLong, TMsgKind::Warning);
    return false;
  }
  // A log an earlier run left is named after its own start, the log of this run after the save.
  const QDateTime named = fRestoredDivider && !fLogList.empty() ? fLogList.front().Time : fClock();
  const QString extension = excel ? QStringLiteral(".xlsx") : QStringLiteral(".txt");
  const QString textFilter = QStringLiteral("Text file format (*.txt)");
  const QString bookFilter = QStringLiteral("Excel workbook (*.xlsx)");
  // Both formats are offered, the chosen one first: the name's extension decides.
  const QString filters = excel ? bookFilter + QStringLiteral(";;") + textFilter
                                : textFilter + QStringLiteral(";;") + bookFilter;
  if (fLogFolder.isEmpty()) {
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    fLogFolder = QFileInfo(documents).isDir() ? documents : QDir::homePath();
  }
  const QString proposed = QStringLiteral("Log_") + LogStamp(named, locale).Stamp + extension;
  QString fileName = AskSaveFileName(owner, QStringLiteral("Save Log"),
                                     QDir(fLogFolder).filePath(proposed), filters);
  if (fileName.isEmpty()) return false;
  fLogFolder = QFileInfo(fileName).absolutePath();
  const QString suffix = QFileInfo(fileName).suffix().toLower();
  if (suffix.isEmpty()) fileName += extension;
  const bool asWorkbook = suffix == QStringLiteral("xlsx") || (excel && suffix != QStringLiteral("txt"));
  if (asWorkbook && !fitsWorkbook) {
    ShowCenteredMessage(owner, tooLong, TMsgKind::Warning);
    return false;
  }
  // Entries taken while a workbook is built (its thread lets the window go on) are not in the
  // file: the log stays unsaved for them.
  const size_t saving = fLogList.size();
  try {
    if (!asWorkbook) {
      SaveTxtLogFile(fileName, locale);
      Saved(owner);
      return true;
    }
    const std::optional<QByteArray> package = BuildWorkbookShowingProgress(
        owner, fLogList, LogStamp(fClock(), locale).Digits, Divider(), locale, fClock());
    if (!package) return false;
    SaveFileContents(fileName, *package);
    Saved(owner);
    if (fLogList.size() > saving) fUnsaved = true;
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
