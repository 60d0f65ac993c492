#include "app/TerminationSignals.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

// The handler may only write to a pipe; the GUI thread reads it through a notifier.
int gSignalPipe[2] = {-1, -1};

void OnSignal(int signal) {
  const unsigned char byte = static_cast<unsigned char>(signal);
  [[maybe_unused]] const ssize_t written = ::write(gSignalPipe[1], &byte, 1);
}

}  // namespace

void CloseOnTerminationSignals(std::function<void()> close) {
  if (gSignalPipe[0] < 0 && ::pipe2(gSignalPipe, O_CLOEXEC | O_NONBLOCK) != 0) return;
  auto* notifier = new QSocketNotifier(gSignalPipe[0], QSocketNotifier::Read, QCoreApplication::instance());
  QObject::connect(notifier, &QSocketNotifier::activated, notifier, [close = std::move(close)] {
    unsigned char byte;
    while (::read(gSignalPipe[0], &byte, 1) == 1) close();
  });
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(signal, &action, nullptr);
}
