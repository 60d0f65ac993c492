#pragma once
// The whole supply on its links: the register model behind a Modbus slave, served on a
// pseudo-terminal and over TCP, the bootloader on the serial link after the jump command, wire
// timing and the injected faults. Runs one poll loop until told to stop.

#include <memory>
#include <string>
#include <vector>

#include "sim/Bootloader.h"
#include "sim/Faults.h"
#include "sim/FlashMemory.h"
#include "sim/ModbusSlave.h"
#include "sim/Options.h"
#include "sim/PacedOutput.h"
#include "sim/PseudoTerminal.h"
#include "sim/RtuFramer.h"
#include "sim/SimClock.h"
#include "sim/Supply.h"
#include "sim/TcpServer.h"
#include "sim/Trace.h"

namespace kpxsim {

class Simulator {
 public:
  explicit Simulator(const Options& options);

  // Opens the trace, the pseudo-terminal and its link, and the TCP listener.
  bool Start(std::string* error);
  // "READY rtu=PATH tcp=ADDR:PORT", each part present when served.
  std::string ReadyLine() const;
  // Serves until stopFd becomes readable; closes everything on the way out.
  // Serves until stopFd (a signal descriptor) reports SIGINT or SIGTERM; SIGUSR1 starts the
  // faults' clock.
  void Run(int stopFd);

 private:
  enum class Mode { Modbus, Boot };

  void ReadPty(double nowMs);
  void ServeRtu(double nowMs);
  void ServeTcp(double nowMs);
  void Answer(ModbusAnswer answer, double dueMs, Link link, int client);
  void ApplyFaultEdges(double nowMs);
  void EnterMode(Mode mode);
  double NextWakeMs(double nowMs) const;
  double InputByteMs() const;

  Options options_;
  SimClock clock_;
  Trace trace_;
  Supply supply_;
  FaultPlan faults_;
  ModbusSlave slave_;
  FlashMemory flash_;
  Bootloader bootloader_;
  PseudoTerminal pty_;
  TcpServer tcp_;
  std::string linkPath_;
  Mode mode_ = Mode::Modbus;
  RtuFramer framer_;
  std::vector<std::pair<uint8_t, double>> bootIn_;
  double lineBusyUntilMs_ = 0;  // when the last byte sent to us has fully arrived
  PacedOutput rtuOut_;
};

}  // namespace kpxsim
