#include "logging/WorkbookBuild.h"

#include <QEventLoop>
#include <QProgressDialog>
#include <QTimer>

#include <atomic>
#include <exception>
#include <thread>

#include "logging/XlsxLog.h"

namespace {
constexpr int kShowAfterMs = 500;
constexpr int kPollMs = 50;
}  // namespace

std::optional<QByteArray> BuildWorkbookShowingProgress(QWidget* owner, std::vector<TLogRecord> log,
                                                       const QString& sheetName,
                                                       int currentDivider, const QLocale& locale,
                                                       const QDateTime& created) {
  std::atomic<size_t> written{0};
  std::atomic<bool> cancel{false}, finished{false};
  QByteArray package;
  std::exception_ptr failure;
  const int rows = static_cast<int>(2 * log.size());
  std::thread builder([&, log = std::move(log)] {
    try {
      package = XlsxLogWorkbook(log, sheetName, currentDivider, locale, created,
                                [&](size_t done, size_t) {
                                  written = done;
                                  return !cancel;
                                });
    } catch (...) {
      failure = std::current_exception();
    }
    finished = true;
  });

  QProgressDialog dialog(QStringLiteral("Saving the log as a workbook..."),
                         QStringLiteral("Cancel"), 0, rows, owner);
  dialog.setObjectName(QStringLiteral("WorkbookProgress"));
  dialog.setWindowTitle(QStringLiteral("Save Log"));
  dialog.setWindowModality(Qt::WindowModal);
  dialog.setMinimumDuration(kShowAfterMs);
  dialog.setAutoReset(false);
  dialog.setAutoClose(false);
  dialog.setValue(0);
  QEventLoop loop;
  QTimer poll;
  poll.setInterval(kPollMs);
  QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
    if (finished) {
      loop.quit();
      return;
    }
    // Cancel, Esc or closing the dialog.
    if (dialog.wasCanceled()) cancel = true;
    dialog.setValue(static_cast<int>(written.load()));
  });
  poll.start();
  loop.exec();
  builder.join();
  if (failure) std::rethrow_exception(failure);
  if (cancel || package.isEmpty()) return std::nullopt;
  return package;
}
