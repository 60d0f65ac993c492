#pragma once
// Runs kpx-sim (from $KELVORA_BIN_DIR) as a child process for a test: starts it, waits for its
// READY line, hands out the pseudo-terminal path and the TCP port it serves, and stops it by its
// process id. Plain C++ and POSIX, so that any test binary can use it.

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace kelvora::test {

class SimProcess {
 public:
  // Starts kpx-sim with these arguments, e.g. {"--rtu", "kpx1", "--tcp", "0", "--firmware", "42"}.
  // Throws std::runtime_error when it cannot start or does not report READY in time.
  explicit SimProcess(const std::vector<std::string>& args, int readyTimeoutMs = 10000);
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  pid_t Pid() const { return pid_; }
  const std::string& ReadyLine() const { return ready_; }
  // The link to the pty's slave side; empty when RTU is not served.
  const std::string& PtyPath() const { return ptyPath_; }
  // Address and port of the Modbus TCP listener; port 0 when TCP is not served.
  const std::string& TcpAddress() const { return tcpAddress_; }
  uint16_t TcpPort() const { return tcpPort_; }

  // Starts the fault windows of a simulator run with --fault-clock signal, once the test's
  // client is where the faults should find it.
  void StartFaults();

  // Whether the process is still alive (reaps it when it has ended).
  bool Running();
  // Sends `signal` and waits; after timeoutMs the process is killed. Returns the exit code, or
  // 128 + signal number when a signal ended it. Further calls return the same code.
  int Stop(int signal = 15, int timeoutMs = 3000);

  // Full path of the kpx-sim binary: in $KELVORA_BIN_DIR, else beside the running binary.
  static std::string BinaryPath();

 private:
  pid_t pid_ = -1;
  int out_ = -1;  // read end of the child's stdout
  int exitCode_ = -1;
  std::string ready_;
  std::string ptyPath_;
  std::string tcpAddress_;
  uint16_t tcpPort_ = 0;
};

}  // namespace kelvora::test
