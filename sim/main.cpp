// kpx-sim: a KPX bench supply on a pseudo-terminal and on Modbus TCP, for tests and demos.

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "sim/Options.h"
#include "sim/Simulator.h"

int main(int argc, char** argv) {
  std::string error;
  const auto options = kpxsim::ParseOptions(std::vector<std::string>(argv + 1, argv + argc), &error);
  if (!options) {
    std::fprintf(stderr, "kpx-sim: %s\n%s", error.c_str(), kpxsim::UsageText().c_str());
    return 2;
  }
  if (options->Help) {
    std::fputs(kpxsim::UsageText().c_str(), stdout);
    return 0;
  }

  // SIGINT and SIGTERM end the poll loop through a descriptor, so that the link is removed;
  // SIGUSR1 starts the faults' clock.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigaddset(&stopSignals, SIGUSR1);
  sigprocmask(SIG_BLOCK, &stopSignals, nullptr);
  const int stopFd = signalfd(-1, &stopSignals, SFD_CLOEXEC);
  signal(SIGPIPE, SIG_IGN);

  kpxsim::Simulator simulator(*options);
  if (stopFd < 0 || !simulator.Start(&error)) {
    std::fprintf(stderr, "kpx-sim: %s\n", error.c_str());
    return 1;
  }
  std::printf("%s\n", simulator.ReadyLine().c_str());
  std::fflush(stdout);
  simulator.Run(stopFd);
  ::close(stopFd);
  return 0;
}
