// journal_bench [FOLDER] [TICKS]: what the log journal costs the GUI thread per log step, and how
// long the next start takes over a day-long journal. FOLDER (default: a new folder under the
// current one, on the same disk as the data folder would be) holds the journals; TICKS (default
// 20000) is the number of one-second ticks timed per case.
//
// 1. Logging by time at the shortest interval (1 s: an entry every tick) and the longest (1800 s:
//    an entry every 1800th tick), TICKS ticks in a row, without and with the journal: wall time
//    and the GUI thread's own CPU time per tick (the journal's writer thread is not on it).
// 2. The same at the real pace of the shortest interval, shortened to 20 ms between entries so
//    that several syncs overlap the writes: the slowest single step.
// 3. A journal of 86 400 entries (a day at 1 s) offered at start-up and saved as text, and as a
//    workbook: the time from finding it to the saved file.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "core/Dialogs.h"
#include "logging/DataLog.h"
#include "logging/JournalFormat.h"
#include "logging/LogRecovery.h"

namespace {
double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

TCurrentSet Reading(uint32_t n) {
  TCurrentSet d{};
  d.USET = 1200;
  d.ISET = 1500;
  d.UOUT = 1190 + n % 7;
  d.IOUT = 1480 + n % 11;
  d.POWER = d.UOUT * d.IOUT / 100;
  return d;
}

struct TStepCost {
  double WallUs, CpuUs;
};

TStepCost TimeTicks(const QString& journalFolder, int32_t interval, int ticks) {
  TDataLog log;
  if (!journalFolder.isEmpty()) log.KeepJournalIn(journalFolder);
  int32_t countdown = 0;
  QElapsedTimer wall;
  const double cpu0 = ThreadCpuSeconds();
  wall.start();
  for (int i = 0; i < ticks; ++i) log.LogByTime(Reading(uint32_t(i)), countdown, interval);
  const double wallUs = double(wall.nsecsElapsed()) / 1e3 / ticks;
  const double cpuUs = (ThreadCpuSeconds() - cpu0) * 1e6 / ticks;
  log.DiscardLogData();
  return {wallUs, cpuUs};
}

double SlowestPacedStepUs(const QString& journalFolder, int entries) {
  TDataLog log;
  if (!journalFolder.isEmpty()) log.KeepJournalIn(journalFolder);
  qint64 slowest = 0;
  for (int i = 0; i < entries; ++i) {
    QElapsedTimer step;
    step.start();
    log.WriteLogData(Reading(uint32_t(i)));
    slowest = std::max(slowest, step.nsecsElapsed());
    QThread::msleep(20);
  }
  log.DiscardLogData();
  return double(slowest) / 1e3;
}

double RecoverDay(const QString& folder, const QString& saveAs, bool excel, qint64& journalBytes,
                  double& parseSeconds) {
  {
    // A day at one entry a second, left behind by a run that ended without a save.
    TDataLog log;
    QDateTime now(QDate(2026, 12, 8), QTime(0, 0));
    log.SetClock([&now] { return now; });
    log.KeepJournalIn(folder);
    for (uint32_t i = 0; i < 86400; ++i, now = now.addSecs(1)) log.WriteLogData(Reading(i));
  }
  SetDialogResponder([&saveAs](const TDialogRequest& request) {
    return TDialogReply{QMessageBox::Yes,
                        request.DialogType == TDialogRequest::Type::SaveFile ? saveAs : QString(),
                        {}};
  });
  journalBytes = 0;
  for (const QFileInfo& f : QDir(folder).entryInfoList({"*.journal"}, QDir::Files)) {
    journalBytes += f.size();
    QFile file(f.filePath());
    file.open(QIODevice::ReadOnly);
    QElapsedTimer parse;
    parse.start();
    const TJournalContents journal = ParseJournal(file.readAll());
    parseSeconds = double(parse.nsecsElapsed()) / 1e9;
    if (journal.Entries.size() != 86400)
      std::printf("only %zu entries read\n", journal.Entries.size());
  }
  TLogRecovery recovery(folder);
  recovery.SetDocumentOpener([](const QString&) { return true; });
  QElapsedTimer wall;
  wall.start();
  recovery.Offer(nullptr, excel);
  const double s = double(wall.nsecsElapsed()) / 1e9;
  SetDialogResponder({});
  return s;
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTemporaryDir own(QDir::current().filePath("journal-bench-XXXXXX"));
  const QString folder = argc > 1 ? QString::fromLocal8Bit(argv[1]) : own.path();
  const int ticks = argc > 2 ? std::atoi(argv[2]) : 20000;
  QDir().mkpath(folder);
  std::printf("journals in %s, %d ticks per case\n", qPrintable(folder), ticks);

  std::printf("\n%-28s %14s %14s %14s %14s\n", "log step", "wall/tick", "wall/tick", "CPU/tick",
              "CPU/tick");
  std::printf("%-28s %14s %14s %14s %14s\n", "", "no journal", "journal", "no journal", "journal");
  for (const int32_t interval : {1, 1800}) {
    const TStepCost plain = TimeTicks({}, interval, ticks);
    const TStepCost journal = TimeTicks(folder, interval, ticks);
    std::printf("by time, every %4d s        %11.3f us %11.3f us %11.3f us %11.3f us\n", interval,
                plain.WallUs, journal.WallUs, plain.CpuUs, journal.CpuUs);
  }
  std::printf(
      "\nslowest step, 150 entries 20 ms apart: %.1f us without, %.1f us with the journal\n",
      SlowestPacedStepUs({}, 150), SlowestPacedStepUs(folder, 150));

  qint64 bytes = 0;
  double parse = 0;
  const double text = RecoverDay(folder, QDir(folder).filePath("day.txt"), false, bytes, parse);
  const double book = RecoverDay(folder, QDir(folder).filePath("day.xlsx"), true, bytes, parse);
  std::printf(
      "\nday-long journal (86400 entries, %lld bytes): read and parsed in %.3f s; offered "
      "and saved as text %.3f s, as a workbook %.3f s\n",
      static_cast<long long>(bytes), parse, text, book);
  return 0;
}
