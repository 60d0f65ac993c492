#include "tests/support/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace kelvora::test {

namespace {
using Clock = std::chrono::steady_clock;

int ElapsedMs(Clock::time_point since) {
  return static_cast<int>(
      std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - since).count());
}

int ExitCodeOf(int status) {
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return -1;
}
}  // namespace

std::string SimProcess::BinaryPath() {
  if (const char* dir = std::getenv("KELVORA_BIN_DIR"); dir && *dir) return std::string(dir) + "/kpx-sim";
  // Test binaries and kpx-sim share the build's bin folder.
  std::error_code ec;
  return (std::filesystem::read_symlink("/proc/self/exe", ec).parent_path() / "kpx-sim").string();
}

SimProcess::SimProcess(const std::vector<std::string>& args, int readyTimeoutMs) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  const std::string binary = BinaryPath();
  std::vector<std::string> argStore{binary};
  argStore.insert(argStore.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& a : argStore) argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t parent = ::getpid();
  pid_ = ::fork();
  if (pid_ == 0) {
    // A test that crashes must not leave its simulator behind.
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);
    if (::getppid() != parent) ::_exit(127);
    ::dup2(pipeFds[1], STDOUT_FILENO);
    ::execv(binary.c_str(), argv.data());
    ::_exit(127);
  }
  ::close(pipeFds[1]);
  out_ = pipeFds[0];
  if (pid_ < 0) {
    ::close(out_);
    out_ = -1;
    throw std::runtime_error("cannot start " + binary);
  }

  std::string line;
  const auto start = Clock::now();
  while (line.find('\n') == std::string::npos) {
    const int left = readyTimeoutMs - ElapsedMs(start);
    pollfd p{out_, POLLIN, 0};
    char buf[256];
    ssize_t n = 0;
    if (left <= 0 || ::poll(&p, 1, left) <= 0 || (n = ::read(out_, buf, sizeof buf)) <= 0) {
      const int code = Stop();
      throw std::runtime_error("kpx-sim gave no READY line (exit code " + std::to_string(code) +
                               ", output '" + line + "')");
    }
    line.append(buf, static_cast<size_t>(n));
  }
  ready_ = line.substr(0, line.find('\n'));
  std::istringstream words(ready_);
  std::string word;
  words >> word;
  if (word != "READY") {
    Stop();
    throw std::runtime_error("unexpected first line from kpx-sim: " + ready_);
  }
  while (words >> word) {
    if (word.rfind("rtu=", 0) == 0) ptyPath_ = word.substr(4);
    if (word.rfind("tcp=", 0) == 0) {
      const auto colon = word.rfind(':');
      tcpAddress_ = word.substr(4, colon - 4);
      tcpPort_ = static_cast<uint16_t>(std::stoul(word.substr(colon + 1)));
    }
  }
}

SimProcess::~SimProcess() { Stop(); }

void SimProcess::StartFaults() {
  if (pid_ > 0) ::kill(pid_, SIGUSR1);
}

bool SimProcess::Running() {
  if (pid_ < 0) return false;
  int status = 0;
  if (::waitpid(pid_, &status, WNOHANG) == pid_) {
    exitCode_ = ExitCodeOf(status);
    pid_ = -1;
    return false;
  }
  return true;
}

int SimProcess::Stop(int signal, int timeoutMs) {
  if (Running()) {
    ::kill(pid_, signal);
    const auto start = Clock::now();
    while (Running()) {
      if (ElapsedMs(start) > timeoutMs) {
        ::kill(pid_, SIGKILL);
        int status = 0;
        ::waitpid(pid_, &status, 0);
        exitCode_ = ExitCodeOf(status);
        pid_ = -1;
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
  }
  if (out_ >= 0) ::close(out_);
  out_ = -1;
  return exitCode_;
}

}  // namespace kelvora::test
