// xlsx_bench ENTRIES [FOLDER]: how long saving a log of ENTRIES entries (one a second) as a
// workbook takes, and the process's peak memory before and after (the log itself, then the
// log and the workbook being built). One size per run, so the peaks do not mix.

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>

#include <sys/resource.h>

#include "core/ErrorReport.h"
#include "logging/DataLog.h"

namespace {
double PeakMiB() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return double(usage.ru_maxrss) / 1024.0;
}
}  // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const long entries = argc > 1 ? std::atol(argv[1]) : 86400;
  QTemporaryDir own(QDir::current().filePath("xlsx-bench-XXXXXX"));
  const QString folder = argc > 2 ? QString::fromLocal8Bit(argv[2]) : own.path();
  std::vector<TLogRecord> log(static_cast<size_t>(entries));
  const QDateTime start(QDate(2026, 12, 8), QTime(9, 0, 0));
  for (long i = 0; i < entries; ++i)
    log[static_cast<size_t>(i)] = {start.addSecs(i), 1200, 1500, uint32_t(1100 + i % 100),
                                   uint32_t(1400 + i % 90), 16000};
  TDataLog data;
  data.RestoreLog(std::move(log), 1);
  const double before = PeakMiB();
  const QString file = QDir(folder).filePath("bench.xlsx");
  QElapsedTimer wall;
  wall.start();
  try {
    data.SaveExcelLogFile("bench", file);
  } catch (const EKelvoraError& error) {
    std::printf("%ld entries: %s\n", entries, qPrintable(error.Text()));
    return 1;
  }
  std::printf("%ld entries: saved in %.2f s, %.1f MB; peak memory %.0f MiB with the log alone, "
              "%.0f MiB while saving\n",
              entries, double(wall.nsecsElapsed()) / 1e9, double(QFileInfo(file).size()) / 1e6,
              before, PeakMiB());
  return 0;
}
