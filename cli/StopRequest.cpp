#include "cli/StopRequest.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <atomic>
#include <csignal>
#include <memory>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

namespace {

std::atomic<bool> gStop{false};
std::atomic<int> gSignals{0};
std::function<void(int)> gOnSignal;
int gWakeFds[2] = {-1, -1};  // written by the handler, read by the event loop
// The pauses under way, inner ones last: a signal ends them all.
std::vector<QEventLoop*> gPauses;

void OnSignal(int) {
  gStop = true;
  ++gSignals;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(gWakeFds[1], &byte, 1);
}

}  // namespace

void InstallStopRequest() {
  if (::pipe2(gWakeFds, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier =
      new QSocketNotifier(gWakeFds[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, [] {
    char buf[16];
    while (::read(gWakeFds[0], buf, sizeof buf) > 0) {
    }
    for (QEventLoop* pause : gPauses) pause->quit();
    if (gOnSignal) gOnSignal(gSignals);
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
}

bool StopRequested() { return gStop; }

void RequestStop() { OnSignal(0); }
void SetOnStopSignal(std::function<void(int aSignals)> aHandler) { gOnSignal = std::move(aHandler); }

void PauseUnlessStopped(int aMs) {
  if (gStop) return;
  QEventLoop loop;
  QTimer::singleShot(aMs, &loop, &QEventLoop::quit);
  gPauses.push_back(&loop);
  loop.exec();
  gPauses.pop_back();
}
