// The program killed in the middle of a log, as a crash or a power cut would end it: the journal
// it leaves holds every entry taken up to the last second, and the next start saves exactly what
// the killed program's log would have saved.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "app/UnsavedLogs.h"
#include "core/Dialogs.h"
#include "host/DataFolders.h"
#include "host/SettingsStore.h"
#include "logging/JournalFormat.h"
#include "tests/support/SimProcess.h"
#include "tests/support/TestEnvironment.h"

using namespace kelvora::test;

namespace {
QByteArray Contents(const QString& path) {
  QFile file(path);
  return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

QStringList Journals() {
  return QDir(ProgramDataFolder()).entryList({"*.journal"}, QDir::Files, QDir::Name);
}
}  // namespace

TEST(LogJournalProcess, AKilledRunLeavesEveryEntryAndTheNextStartSavesWhatItsLogWouldHave) {
  ClearSettingsStore();
  for (const QString& name : Journals()) QFile::remove(QDir(ProgramDataFolder()).filePath(name));
  SimProcess sim({"--rtu", "kpx-journal", "--tcp", "0"});
  RegWriteString("PORT", QString::fromStdString(sim.PtyPath()));
  RegWriteInteger("LOG", 0);   // by time
  RegWriteInteger("LTIM", 0);  // every second
  RegWriteInteger("EXCEL", 0);

  QTemporaryDir references;
  ASSERT_TRUE(references.isValid());
  QProcess program;
  program.setProcessChannelMode(QProcess::ForwardedErrorChannel);
  program.start(QCoreApplication::applicationDirPath() + "/journal_recording_program",
                {references.path()});
  ASSERT_TRUE(program.waitForStarted(10000));
  // The entry at the start and five more, one a second.
  const QString sixth = references.filePath("reference-6.txt");
  ASSERT_TRUE(QTest::qWaitFor([&] { return QFile::exists(sixth); }, 30000))
      << "the program did not log six entries";
  // Killed at a moment when the program is not between an entry and its reference: stopped,
  // compared, and let go on for a moment when it was.
  const auto pid = static_cast<pid_t>(program.processId());
  const auto newestReference = [&references] {
    int n = 0;
    while (QFile::exists(references.filePath(QString("reference-%1.txt").arg(n + 1)))) ++n;
    return n;
  };
  const auto journalEntries = [] {
    const QStringList journals = Journals();
    if (journals.size() != 1) return -1;
    return int(
        ParseJournal(Contents(QDir(ProgramDataFolder()).filePath(journals[0]))).Entries.size());
  };
  int entries = 0;
  for (int attempt = 0; attempt < 20; ++attempt) {
    ASSERT_EQ(::kill(pid, SIGSTOP), 0);
    QTest::qWait(50);
    entries = newestReference();
    if (journalEntries() == entries) break;
    ::kill(pid, SIGCONT);
    QTest::qWait(30);
  }
  ASSERT_EQ(::kill(pid, SIGKILL), 0);
  ASSERT_TRUE(program.waitForFinished(10000));
  EXPECT_EQ(program.exitStatus(), QProcess::CrashExit);

  // The newest reference is the killed program's log at its last entry.
  ASSERT_GE(entries, 6);
  ASSERT_EQ(Journals().size(), 1) << Journals().join(' ').toStdString();
  const QString journalPath = QDir(ProgramDataFolder()).filePath(Journals()[0]);
  const TJournalContents journal = ParseJournal(Contents(journalPath));
  ASSERT_EQ(journal.State, TJournalContents::TState::Ours);
  ASSERT_EQ(journal.Entries.size(), size_t(entries)) << "every entry the log held, and no more";

  // The next start offers the log; Yes and a file name save it.
  QStringList asked;
  TButtonTexts buttons;
  const QString saved = references.filePath("recovered.txt");
  SetDialogResponder([&](const TDialogRequest& request) {
    if (request.DialogType == TDialogRequest::Type::SaveFile)
      return TDialogReply{QMessageBox::Ok, saved, {}};
    asked << request.Text;
    buttons = request.ButtonTexts;
    return TDialogReply{QMessageBox::Yes, {}, {}};
  });
  {
    TProgramWindows windows;
    MainForm->show();
    OfferUnsavedLogs();
  }
  SetDialogResponder({});
  ASSERT_EQ(asked.size(), 1);
  EXPECT_TRUE(asked[0].startsWith(QString("A log of %1 entries recorded from ").arg(entries)))
      << asked[0].toStdString();
  EXPECT_TRUE(asked[0].endsWith(" was not saved. Save it now?")) << asked[0].toStdString();
  EXPECT_EQ(buttons[QMessageBox::Discard], "No");
  EXPECT_EQ(buttons[QMessageBox::Cancel], "Later");
  EXPECT_EQ(Contents(saved).count("\r\n"), entries + 1) << "the header and every entry";
  EXPECT_EQ(Contents(saved),
            Contents(references.filePath(QString("reference-%1.txt").arg(entries))));
  EXPECT_TRUE(Journals().isEmpty()) << "a saved log leaves no journal";
}
