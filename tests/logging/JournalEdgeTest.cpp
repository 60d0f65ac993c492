// The journal at its edges, as the next start meets them on the real disk: files named like a
// journal that are no files, damaged lines, a newer format, a data folder that cannot be
// changed, and a disk that stops taking the journal's lines in the middle of a log.
#include <QApplication>
#include <QElapsedTimer>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <atomic>
#include <cstring>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include "logging/LogFormat.h"
#include "logging/XlsxLog.h"
#include "tests/host/FakeJournalFile.h"
#include "tests/logging/JournalFixture.h"

namespace {
// Makes a folder one that cannot be changed, for the time it lives: by its mode, and for a user
// whom modes do not stop (root), by the file system's immutable flag.
class TReadOnlyFolder {
 public:
  explicit TReadOnlyFolder(const QString& path) : fPath(QFile::encodeName(path)) {
    ::chmod(fPath.constData(), 0500);
    if (::geteuid() == 0) SetImmutable(true);
    const QByteArray probe = fPath + "/probe";
    const int fd = ::open(probe.constData(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    fWorks = fd < 0;
    if (fd >= 0) ::close(fd), ::unlink(probe.constData());
  }
  ~TReadOnlyFolder() {
    if (fImmutable) SetImmutable(false);
    ::chmod(fPath.constData(), 0700);
  }
  bool Works() const { return fWorks; }

 private:
  void SetImmutable(bool on) {
    const int fd = ::open(fPath.constData(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags = on ? flags | FS_IMMUTABLE_FL : flags & ~FS_IMMUTABLE_FL;
      fImmutable = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0 && on;
    }
    ::close(fd);
  }
  QByteArray fPath;
  bool fImmutable = false;
  bool fWorks = false;
};

// A journal of entries left behind by a run that ended without saving.
QByteArray LeftJournal(const QString& folder, int entries) {
  {
    TRecordedLog run(folder);
    run.Take(entries);
  }
  const QStringList names = QDir(folder).entryList({"*.journal"});
  return names.size() == 1 ? Contents(QDir(folder).filePath(names[0])) : QByteArray();
}

// The reference text log of entries 0 .. count-1 less those at skipped.
QByteArray ReferenceText(const QString& path, int count, const std::vector<int>& skipped) {
  TRecordedLog reference({});
  reference.Take(count);
  QList<QByteArray> lines = reference.Saved(path).split('\n');
  for (auto i = skipped.rbegin(); i != skipped.rend(); ++i) lines.removeAt(1 + *i);
  return lines.join('\n');
}
}  // namespace

TEST_F(Journal, APipeASocketAndALinkNamedLikeJournalsAreEachReportedOnceAndLeftWithoutWaiting) {
  const QByteArray pipe = QFile::encodeName(data.filePath("unsaved-log-20261208-090000-01.journal"));
  ASSERT_EQ(::mkfifo(pipe.constData(), 0600), 0);
  ASSERT_EQ(::symlink(pipe.constData(),
                      QFile::encodeName(data.filePath("unsaved-log-20261208-090000-02.journal"))),
            0);
  const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  const QByteArray socketPath =
      QFile::encodeName(data.filePath("unsaved-log-20261208-090000-03.journal"));
  ASSERT_LT(socketPath.size(), static_cast<qsizetype>(sizeof address.sun_path));
  std::memcpy(address.sun_path, socketPath.constData(), socketPath.size());
  ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);

  // Should the start-up wait for a writer to the pipe, one comes after a while: the test then
  // fails instead of hanging.
  std::mutex mutex;
  std::condition_variable finished;
  bool done = false;
  std::atomic<bool> writerNeeded{false};
  std::thread writer([&] {
    std::unique_lock<std::mutex> lock(mutex);
    if (finished.wait_for(lock, std::chrono::seconds(20), [&] { return done; })) return;
    writerNeeded = true;
    const int fd = ::open(pipe.constData(), O_RDWR | O_NONBLOCK);
    if (fd >= 0) ::close(fd);
  });
  QElapsedTimer startUp;
  startUp.start();
  Recover();
  const qint64 took = startUp.elapsed();
  {
    const std::lock_guard<std::mutex> lock(mutex);
    done = true;
  }
  finished.notify_all();
  writer.join();
  ::close(sock);
  EXPECT_FALSE(writerNeeded) << "the start-up waited for the pipe";
  RecordProperty("start_up_ms", QString::number(took).toStdString());

  EXPECT_TRUE(user.Questions.empty());
  ASSERT_EQ(user.Warnings.size(), 3u);
  EXPECT_TRUE(user.Warnings[0].Text.contains("-01.journal\" cannot be read: it is a named pipe, not a file"))
      << user.Warnings[0].Text.toStdString();
  EXPECT_TRUE(user.Warnings[1].Text.contains("-02.journal\" cannot be read: it is a link, not a file"))
      << user.Warnings[1].Text.toStdString();
  EXPECT_TRUE(user.Warnings[2].Text.contains("-03.journal\" cannot be read: it is a socket, not a file"))
      << user.Warnings[2].Text.toStdString();
  EXPECT_EQ(Journals().size(), 3) << "none is removed";
}

TEST_F(Journal, EveryReadableLineOfADamagedJournalIsOfferedAndTheJournalIsKeptAsideAfterTheAnswer) {
  struct TDamage {
    const char* Name;
    std::function<QByteArray(QByteArray)> Apply;
    std::vector<int> Skipped;  // entries left out, counted from 0
    const char* Note;          // what the question says about it; empty: no damage
  };
  const auto line = [](const QByteArray& text, int n) {  // offset of line n, counted from 0
    qsizetype at = 0;
    for (int i = 0; i < n; ++i) at = text.indexOf('\n', at) + 1;
    return at;
  };
  const std::vector<TDamage> damages{
      // Over the end of one line and the start of the next: two entries in one damaged line.
      {"zeros mid-file",
       [&](QByteArray j) { return j.replace(line(j, 4) + 40, 40, QByteArray(40, '\0')); },
       {3, 4}, "line 5 is left out"},
      {"a flipped byte",
       [&](QByteArray j) { return j[line(j, 3) + 31] = char(j[line(j, 3) + 31] ^ 0x40), j; },
       {2}, "line 4 is left out"},
      // The entries carry their own moments: a damaged header costs nothing else.
      {"a damaged header", [](QByteArray j) { return j.replace(22, 4, "20x6"); }, {},
       "line 1 is left out"},
      {"CR LF line ends", [](QByteArray j) { return j.replace("\n", "\r\n"); }, {}, ""},
      {"a torn last line", [](QByteArray j) { return j + "2026-12-08T09:00:06.00"; }, {}, ""},
  };
  for (const TDamage& damage : damages) {
    SCOPED_TRACE(damage.Name);
    const QByteArray journal = LeftJournal(data.path(), 6);
    ASSERT_FALSE(journal.isEmpty());
    const QString path = JournalPath();
    WriteFile(path, damage.Apply(journal));
    user.Questions.clear();
    user.Answers = {QMessageBox::Yes};
    user.Files = {Out("recovered.txt")};
    Recover();
    ASSERT_EQ(user.Questions.size(), 1u);
    const QString question = user.Questions[0].Text;
    const int offered = 6 - static_cast<int>(damage.Skipped.size());
    EXPECT_TRUE(question.contains(QString("A log of %1 entries recorded from").arg(offered)))
        << question.toStdString();
    EXPECT_EQ(Contents(Out("recovered.txt")),
              ReferenceText(Out("reference.txt"), 6, damage.Skipped));
    if (QByteArray(damage.Note).isEmpty()) {
      EXPECT_FALSE(question.contains("damaged")) << question.toStdString();
      EXPECT_FALSE(QFile::exists(path));
      EXPECT_FALSE(QFile::exists(path + ".damaged"));
      continue;
    }
    EXPECT_TRUE(question.startsWith(
        QString("The log journal \"%1\" is damaged: %2. After your answer it is kept as \"%1.damaged\" "
                "and not offered again.\n\nA log of ")
            .arg(QDir::toNativeSeparators(path), damage.Note)))
        << question.toStdString();
    EXPECT_TRUE(Journals().isEmpty());
    EXPECT_EQ(Contents(path + ".damaged"), damage.Apply(journal)) << "kept as it was";
    // Asked once: the next start has nothing to offer.
    user.Questions.clear();
    Recover();
    EXPECT_TRUE(user.Questions.empty());
    ASSERT_TRUE(QFile::remove(path + ".damaged"));
  }
  EXPECT_TRUE(user.Warnings.empty());
}

TEST_F(Journal, NoToADamagedJournalKeepsItAsideAndAJournalWithoutOneWholeEntryIsSaidSo) {
  QByteArray journal = LeftJournal(data.path(), 2);
  const QString path = JournalPath();
  WriteFile(path, journal.replace(" 1201 1500 ", " 1201 15x0 "));
  user.Answers = {QMessageBox::Discard};
  Recover();
  ASSERT_EQ(user.Questions.size(), 1u);
  EXPECT_TRUE(user.Questions[0].Text.contains("line 3 is left out"));
  EXPECT_TRUE(user.Questions[0].Text.contains("\n\nA log of 1 entry recorded from "))
      << user.Questions[0].Text.toStdString();
  EXPECT_TRUE(QFile::exists(path + ".damaged"));
  EXPECT_TRUE(Journals().isEmpty());

  // Not one line of entries reads: nothing to ask, and the journal is kept aside the same way,
  // beside the first one kept.
  const QByteArray header = journal.left(journal.indexOf('\n') + 1);
  WriteFile(path, header + "garbage\n" + QByteArray(30, '\0') + "\n");
  user.Questions.clear();
  Recover();
  EXPECT_TRUE(user.Questions.empty());
  ASSERT_EQ(user.Warnings.size(), 1u);
  EXPECT_EQ(user.Warnings[0].Text,
            QString("The log journal \"%1\" cannot be read: no line of it is a whole entry.\n"
                    "It is kept as \"%1.damaged-2\".")
                .arg(QDir::toNativeSeparators(path)));
  EXPECT_TRUE(QFile::exists(path + ".damaged-2"));
  EXPECT_TRUE(Journals().isEmpty());
}

TEST_F(Journal, AJournalOfANewerFormatSaysSoAndIsLeftForTheProgramThatWroteIt) {
  const QString path = data.filePath("unsaved-log-20261208-090000-01.journal");
  const QByteArray newer = "kelvora-log-journal 2 2026-12-08T09:00:00.000+01:00 utc\n"
                           "2026-12-08T09:00:00.000+01:00 1200 1500 1199 1490 17865 1 7\n";
  WriteFile(path, newer);
  Recover();
  EXPECT_TRUE(user.Questions.empty());
  ASSERT_EQ(user.Warnings.size(), 1u);
  EXPECT_EQ(user.Warnings[0].Text,
            QString("The log journal \"%1\" was written by a newer version of the program "
                    "(journal format 2).\nIt is left as it is.")
                .arg(QDir::toNativeSeparators(path)));
  EXPECT_EQ(Contents(path), newer);
}

TEST_F(Journal, AJournalThatCannotBeRemovedFromAReadOnlyDataFolderIsSaid) {
  TRecordedLog run(data.path());
  run.Take(2);
  ASSERT_TRUE(JournalHasLines(3));
  const QString path = JournalPath();
  {
    TReadOnlyFolder readOnly(data.path());
    if (!readOnly.Works()) GTEST_SKIP() << "no folder here can be made read-only";
    // Saved in this run: the log is safe, its journal stays.
    user.Files = {Out("run.txt")};
    ASSERT_TRUE(run.log.SaveLog(nullptr, false));
    ASSERT_EQ(user.Warnings.size(), 1u);
    EXPECT_TRUE(user.Warnings[0].Text.startsWith(
        QString("The log was saved, but its journal \"%1\" could not be removed: ")
            .arg(QDir::toNativeSeparators(path))))
        << user.Warnings[0].Text.toStdString();
    EXPECT_TRUE(user.Warnings[0].Text.endsWith(".\nThe next start offers the log again."));
    run.log.ClearLogData();

    // The next start: No cannot throw it away either, and says so.
    user.Warnings.clear();
    user.Answers = {QMessageBox::Discard};
    Recover();
    ASSERT_EQ(user.Questions.size(), 1u);
    ASSERT_EQ(user.Warnings.size(), 1u);
    EXPECT_TRUE(user.Warnings[0].Text.startsWith(
        QString("The log journal \"%1\" could not be removed: ").arg(QDir::toNativeSeparators(path))))
        << user.Warnings[0].Text.toStdString();
    EXPECT_TRUE(user.Warnings[0].Text.endsWith(".\nThe next start asks about it again."));

    // A damaged one cannot be kept aside.
    QByteArray lines = Contents(path);
    {
      QFile file(path);
      ASSERT_TRUE(file.open(QIODevice::WriteOnly));
      file.write(lines.replace(" 1201 1500 ", " 1201 15x0 "));
    }
    user.Warnings.clear();
    user.Answers = {QMessageBox::Discard};
    Recover();
    ASSERT_EQ(user.Warnings.size(), 1u);
    EXPECT_TRUE(user.Warnings[0].Text.startsWith(
        QString("The log journal \"%1\" could not be renamed to \"%1.damaged\": ")
            .arg(QDir::toNativeSeparators(path))))
        << user.Warnings[0].Text.toStdString();
  }
  EXPECT_EQ(Journals().size(), 1);
}

TEST_F(Journal, ADiskThatStopsTakingTheJournalIsToldWhenItHappensNotAtTheNextEntry) {
  const auto disk = std::make_shared<TFakeDisk>();
  // The header with the first entry is the first write, each entry after it one more.
  disk->FailAppendFrom = 3;
  TRecordedLog run(data.path(), QTime(9, 0, 0), FakeJournalFiles(disk));
  run.Take(3);
  // Event logging may take no entry for hours: the warning comes without one.
  ASSERT_TRUE(QTest::qWaitFor([this] { return !user.Warnings.empty(); }, 10000));
  EXPECT_EQ(user.Warnings[0].Text,
            "The log cannot be kept safe on the disk: No space left on device.\n"
            "It goes on in memory only; save it before closing the program.");
  run.Take(2);
  EXPECT_EQ(user.Warnings.size(), 1u) << "once per log";
  EXPECT_EQ(run.log.LogList().size(), 5u);
  EXPECT_EQ(disk->Appends, 3) << "nothing is written after a failure";
  EXPECT_EQ(disk->Written.count('\n'), 3) << "the header and the two entries that reached the file";
}

TEST_F(Journal, ALostSyncOfTheJournalFailsTheLogsPromise) {
  // Each entry is on the disk within the second, with the journal's folder entry.
  const auto disk = std::make_shared<TFakeDisk>();
  TRecordedLog run(data.path(), QTime(9, 0, 0), FakeJournalFiles(disk));
  run.Take(1);
  ASSERT_TRUE(disk->WaitFor([&] {
    return disk->Synced > 0 && disk->Synced == disk->Written.size() && disk->FolderSyncs == 1;
  }));
  run.Take(1);
  EXPECT_TRUE(disk->WaitFor([&] { return disk->Written.count('\n') == 3 && disk->Synced == disk->Written.size(); }))
      << "the second entry reached the disk too";
  run.log.ClearLogData();
  EXPECT_FALSE(disk->Open);
}

TEST_F(Journal, ARecoveredLogIsProposedUnderItsOwnStartAndTheNameChoosesTheFormat) {
  LeftJournal(data.path(), 3);
  TLogRecovery recovery(data.path());
  recovery.SetClock([] { return QDateTime(QDate(2026, 12, 10), QTime(8, 15, 0)); });
  recovery.SetDocumentOpener([](const QString&) { return true; });
  // Text is the chosen format; the user types a workbook's name.
  user.Answers = {QMessageBox::Yes};
  user.Files = {Out("bench.xlsx")};
  recovery.Offer(nullptr, false);
  for (auto& w : user.Warnings) ADD_FAILURE() << w.Text.toStdString();
  ASSERT_EQ(user.Questions.size(), 1u);
  ASSERT_EQ(user.SaveDialogs.size(), 1u);
  const QLocale locale;
  const QString stamp = LogStamp(QDateTime(QDate(2026, 12, 8), QTime(9, 0, 0)), locale).Stamp;
  EXPECT_EQ(QFileInfo(user.SaveDialogs[0].Text).fileName(), "Log_" + stamp + ".txt")
      << "named after the log's start, not the day it is recovered";
  EXPECT_EQ(user.SaveDialogs[0].Filter, "Text file format (*.txt);;Excel workbook (*.xlsx)");
  EXPECT_TRUE(Contents(Out("bench.xlsx")).startsWith("PK")) << "a workbook, as its name says";
  EXPECT_TRUE(Journals().isEmpty());

  // And the other way round.
  LeftJournal(data.path(), 3);
  user.Answers = {QMessageBox::Yes};
  user.Files = {Out("bench.txt")};
  recovery.Offer(nullptr, true);
  EXPECT_EQ(user.SaveDialogs.back().Filter, "Excel workbook (*.xlsx);;Text file format (*.txt)");
  EXPECT_TRUE(Contents(Out("bench.txt")).startsWith(kTxtLogHeader.toLatin1()));
}

TEST_F(Journal, ALogTooLongForAWorksheetIsRefusedAsAWorkbookAtOnce) {
  // One entry more than a worksheet's rows below its header.
  std::vector<TLogRecord> entries(kXlsxMaxEntries + 1);
  const QDateTime start(QDate(2026, 12, 8), QTime(9, 0, 0));
  for (size_t i = 0; i < entries.size(); ++i)
    entries[i] = {start.addSecs(static_cast<qint64>(i)), 1200, 1500, 1199, 1490, 17865};
  TDataLog log;
  log.RestoreLog(std::move(entries), 1);
  const QString refusal = QString("The log has %1 entries, more than the %2 a worksheet holds.\n"
                                  "Save it in text format instead.")
                              .arg(QLocale().toString(1048576), QLocale().toString(1048575));
  EXPECT_FALSE(log.SaveLog(nullptr, true));
  EXPECT_TRUE(user.SaveDialogs.empty()) << "refused before a name is asked for";
  ASSERT_EQ(user.Warnings.size(), 1u);
  EXPECT_EQ(user.Warnings[0].Text, refusal);
  // A workbook's name typed in the text format's dialog is refused the same way.
  user.Files = {Out("long.xlsx")};
  EXPECT_FALSE(log.SaveLog(nullptr, false));
  ASSERT_EQ(user.Warnings.size(), 2u);
  EXPECT_EQ(user.Warnings[1].Text, refusal);
  EXPECT_FALSE(QFile::exists(Out("long.xlsx")));
  EXPECT_TRUE(log.HasUnsavedEntries());
}

TEST_F(Journal, AWorkbookIsBuiltWhileTheWindowGoesOnAndTheUserCanCancelIt) {
  // Long enough to take seconds, so the progress dialog shows.
  std::vector<TLogRecord> entries(400000);
  const QDateTime start(QDate(2026, 12, 8), QTime(9, 0, 0));
  for (size_t i = 0; i < entries.size(); ++i)
    entries[i] = {start.addSecs(static_cast<qint64>(i)), 1200, 1500, 1199, 1490, 17865};
  TDataLog log;
  log.RestoreLog(std::move(entries), 1);
  log.SetDocumentOpener([](const QString&) { return true; });
  user.Files = {Out("long.xlsx")};
  // The window's timers go on while the workbook is built; the user presses Cancel.
  int ticks = 0;
  bool cancelled = false;
  QTimer window;
  window.setInterval(20);
  QObject::connect(&window, &QTimer::timeout, [&] {
    ++ticks;
    for (QWidget* w : QApplication::topLevelWidgets())
      if (auto* progress = qobject_cast<QProgressDialog*>(w);
          progress && progress->isVisible() && !cancelled) {
        EXPECT_EQ(progress->labelText(), "Saving the log as a workbook...");
        QPushButton* button = progress->findChild<QPushButton*>();
        ASSERT_TRUE(button);
        EXPECT_EQ(button->text(), "Cancel");
        cancelled = true;
        button->click();
      }
  });
  window.start();
  EXPECT_FALSE(log.SaveLog(nullptr, true));
  window.stop();
  EXPECT_TRUE(cancelled) << "no progress was shown";
  EXPECT_GT(ticks, 10) << "the window stood still while the workbook was built";
  EXPECT_FALSE(QFile::exists(Out("long.xlsx")));
  EXPECT_TRUE(log.HasUnsavedEntries());
  EXPECT_TRUE(user.Warnings.empty()) << "cancelling is not a failure";
}
