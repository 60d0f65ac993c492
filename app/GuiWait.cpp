#include "app/GuiWait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>

namespace {
int gWaitDepth = 0;
// Conditions such as an empty queue change on a worker thread without an event of their own,
// so the loop also wakes on a short beat to look again.
constexpr int kBeatMs = 5;
}  // namespace

bool WaitPainted(uint32_t timeoutMs, const std::function<bool()>& done) {
  ++gWaitDepth;
  QDeadlineTimer deadline(timeoutMs);
  QTimer beat;
  beat.start(kBeatMs);
  bool finished = done && done();
  while (!finished && !deadline.hasExpired()) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents |
                                    QEventLoop::WaitForMoreEvents);
    finished = done && done();
  }
  --gWaitDepth;
  return finished;
}

bool GuiWaitActive() { return gWaitDepth > 0; }

void PaintPending() { QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents); }
