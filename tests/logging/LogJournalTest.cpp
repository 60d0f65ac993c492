// The journal of a log on the real disk, and what the next start makes of the journals an earlier
// run left: torn last lines, foreign and unreadable files, Later, two runs in a row, and a
// journal another running copy is still writing.
#include "logging/LogFormat.h"
#include "logging/LogJournal.h"
#include "tests/logging/JournalFixture.h"

TEST_F(Journal, EachEntryIsALineOnDiskAndSavingOrDiscardingTheLogRemovesIt) {
  TRecordedLog run(data.path());
  run.Take(2);
  ASSERT_EQ(Journals(), QStringList{"unsaved-log-20261208-090000-01.journal"});
  ASSERT_TRUE(JournalHasLines(3));
  const QByteArray zone = Zone(QDateTime(QDate(2026, 12, 8), QTime(9, 0)));
  EXPECT_EQ(Contents(JournalPath()), "kelvora-log-journal 1 2026-12-08T09:00:00.000" + zone +
                                         "\n"
                                         "2026-12-08T09:00:00.000" +
                                         zone +
                                         " 1200 1500 1199 1490 17865 1\n"
                                         "2026-12-08T09:00:01.000" +
                                         zone + " 1201 1500 1200 1489 17868 1\n");

  user.Files = {Out("run.txt")};
  ASSERT_TRUE(run.log.SaveLog(nullptr, false));
  EXPECT_TRUE(Journals().isEmpty()) << "a saved log needs no journal";

  // An entry after the save: the log is unsaved again, and the new journal holds all of it.
  run.Take(1);
  ASSERT_EQ(Journals().size(), 1);
  EXPECT_TRUE(JournalHasLines(4)) << "the header and the three entries";
  run.log.DiscardLogData();
  EXPECT_TRUE(Journals().isEmpty()) << "a log thrown away on purpose takes its journal along";
}

TEST_F(Journal, ATornLastLineRecoversEveryWholeLineAtTheScalingItWasRecordedAt) {
  // A 1 mA model: currents with three decimals.
  CurrentDivider = 10;
  TRecordedLog reference({});
  reference.Take(3);
  const QByteArray expected = reference.Saved(Out("reference.txt"));
  for (const QByteArray& tail : {QByteArray("2026-12-08T09:00:03.0"), QByteArray(7, '\0')}) {
    SCOPED_TRACE(tail.toStdString());
    {
      TRecordedLog run(data.path());
      run.Take(4);
      run.log.ClearLogData();
    }
    // The crash hit in the middle of the fourth entry's write (or a power cut left zeros).
    const QByteArray whole = Contents(JournalPath());
    ASSERT_EQ(whole.count('\n'), 5);
    WriteFile(JournalPath(), whole.left(whole.lastIndexOf('\n', whole.size() - 2) + 1) + tail);
    // The next start knows no model yet.
    ResetModelVariables();
    user.Answers = {QMessageBox::Yes};
    user.Files = {Out("recovered.txt")};
    Recover();
    ASSERT_EQ(user.Questions.size(), 1u);
    const QLocale locale;
    const auto shown = [&locale](QTime time) {
      const QDateTime moment(QDate(2026, 12, 8), time);
      return locale.toString(moment.date(), QLocale::ShortFormat) + ' ' +
             LogTimeText(moment, locale);
    };
    EXPECT_EQ(user.Questions[0].Text,
              QString("A log of 3 entries recorded from %1 to %2 was not saved. Save it now?")
                  .arg(shown(QTime(9, 0, 0)), shown(QTime(9, 0, 2))));
    EXPECT_EQ(user.Questions[0].Buttons,
              QMessageBox::Yes | QMessageBox::Discard | QMessageBox::Cancel);
    EXPECT_EQ(user.Questions[0].ButtonTexts,
              (TButtonTexts{{QMessageBox::Discard, "No"}, {QMessageBox::Cancel, "Later"}}));
    EXPECT_EQ(Contents(Out("recovered.txt")), expected);
    EXPECT_TRUE(Journals().isEmpty());
    user.Questions.clear();
    CurrentDivider = 10;
  }
}

TEST_F(Journal, AForeignOrUnreadableJournalIsReportedAndLeftAsItIs) {
  WriteFile(data.filePath("notes.journal"), "shopping list\nmilk\n");
  ASSERT_TRUE(QDir(data.path()).mkdir("folder.journal"));
  Recover();
  EXPECT_TRUE(user.Questions.empty());
  ASSERT_EQ(user.Warnings.size(), 2u);
  EXPECT_TRUE(user.Warnings[0].Text.contains("folder.journal\" cannot be read: it is a folder, not a file"))
      << user.Warnings[0].Text.toStdString();
  EXPECT_TRUE(
      user.Warnings[1].Text.contains("notes.journal\" is not a log journal of this program"));
  for (const TDialogRequest& w : user.Warnings)
    EXPECT_TRUE(w.Text.endsWith("It is left as it is."));
  EXPECT_EQ(Contents(data.filePath("notes.journal")), "shopping list\nmilk\n");
  EXPECT_TRUE(QFileInfo(data.filePath("folder.journal")).isDir());
}

TEST_F(Journal, LaterAsksAgainAtTheNextStartAndNoThrowsTheLogAway) {
  {
    TRecordedLog run(data.path());
    run.Take(2);
  }
  const QByteArray journal = Contents(JournalPath());
  user.Answers = {QMessageBox::Cancel};
  Recover();
  EXPECT_EQ(Contents(JournalPath()), journal) << "Later keeps the journal as it is";
  // A save dialog cancelled is a Later too.
  user.Answers = {QMessageBox::Yes};
  Recover();
  EXPECT_EQ(Contents(JournalPath()), journal);
  user.Answers = {QMessageBox::Discard};
  Recover();
  EXPECT_EQ(user.Questions.size(), 3u);
  EXPECT_TRUE(Journals().isEmpty());
}

TEST_F(Journal, TwoRunsInARowLeaveTwoJournalsThatAreOfferedOldestFirst) {
  TRecordedLog reference1({}), reference2({}, QTime(9, 0, 0));
  reference1.Take(3);
  reference2.Take(5);
  {
    // The first run records a log and ends without saving it.
    TRecordedLog run(data.path());
    run.Take(3);
  }
  user.Answers = {QMessageBox::Cancel};
  Recover();
  {
    // The second run, started in the same second of the clock, records a longer one: the first
    // run's journal is not replaced. Its own log ends without a save too, replaced by a new one.
    TRecordedLog run(data.path());
    run.Take(5);
    run.log.ClearLogData();
  }
  ASSERT_EQ(Journals(), (QStringList{"unsaved-log-20261208-090000-01.journal",
                                     "unsaved-log-20261208-090000-02.journal"}));
  user.Questions.clear();
  user.Answers = {QMessageBox::Yes, QMessageBox::Yes};
  user.Files = {Out("first.txt"), Out("second.txt")};
  Recover();
  ASSERT_EQ(user.Questions.size(), 2u);
  EXPECT_TRUE(user.Questions[0].Text.startsWith("A log of 3 entries"));
  EXPECT_TRUE(user.Questions[1].Text.startsWith("A log of 5 entries")) << user.Questions[1].Text.toStdString();
  EXPECT_EQ(Contents(Out("first.txt")), reference1.Saved(Out("reference1.txt")));
  EXPECT_EQ(Contents(Out("second.txt")), reference2.Saved(Out("reference2.txt")));
  EXPECT_TRUE(Journals().isEmpty());
}

TEST_F(Journal, AJournalARunningCopyIsWritingIsLeftAlone) {
  TRecordedLog running(data.path());
  running.Take(2);
  Recover();
  EXPECT_TRUE(user.Questions.empty());
  EXPECT_TRUE(user.Warnings.empty());
  ASSERT_EQ(Journals().size(), 1);
  running.Take(1);
  EXPECT_TRUE(JournalHasLines(4)) << "and it goes on writing";
}

TEST_F(Journal, ARecoveredWorkbookIsTheOneTheEarlierRunWouldHaveSaved) {
  const auto saveMoment = [] { return QDateTime(QDate(2026, 12, 9), QTime(18, 5, 7)); };
  TRecordedLog reference({});
  reference.Take(4);
  reference.log.SetClock(saveMoment);
  reference.log.SetDocumentOpener([](const QString&) { return true; });
  user.Files = {Out("reference.xlsx")};
  ASSERT_TRUE(reference.log.SaveLog(nullptr, true));
  {
    TRecordedLog run(data.path());
    run.Take(4);
  }
  user.Answers = {QMessageBox::Yes};
  user.Files = {Out("recovered.xlsx")};
  TLogRecovery recovery(data.path());
  recovery.SetClock(saveMoment);
  QStringList opened;
  recovery.SetDocumentOpener([&opened](const QString& file) { return opened << file, true; });
  recovery.Offer(nullptr, true);
  EXPECT_EQ(opened, QStringList{Out("recovered.xlsx")}) << "shown as any saved workbook is";
  const QByteArray book = Contents(Out("recovered.xlsx"));
  EXPECT_TRUE(book.startsWith("PK"));
  EXPECT_EQ(book, Contents(Out("reference.xlsx")));
}

TEST_F(Journal, AJournalThatCannotBeWrittenIsReportedOnceAndTheLogGoesOn) {
  // A data folder that is a file: no journal can be made in it.
  WriteFile(data.filePath("not-a-folder"), "x");
  TRecordedLog run(data.filePath("not-a-folder"));
  run.Take(3);
  EXPECT_EQ(run.log.LogList().size(), 3u);
  ASSERT_EQ(user.Warnings.size(), 1u);
  EXPECT_TRUE(user.Warnings[0].Text.startsWith("The log cannot be kept safe on the disk: "))
      << user.Warnings[0].Text.toStdString();
}
