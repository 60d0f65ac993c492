#pragma once
// The command line of kpx-sim.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "sim/Faults.h"
#include "sim/ModelTable.h"

namespace kpxsim {

struct Options {
  uint16_t Model = 5005;
  uint16_t Firmware = 43;
  IdentityOverrides Overrides;
  uint8_t Slave = 1;
  std::string Rtu;  // NAME or PATH; empty: no RTU
  bool Tcp = false;
  std::string TcpAddress = "127.0.0.1";
  uint16_t TcpPort = 0;
  uint32_t Baud = 0;      // 0: no wire time
  uint32_t BootBaud = 0;  // 0: no wire time
  double LoadOhms = 10.0;
  std::optional<double> VinVolts;
  std::string TracePath;
  std::vector<FaultSpec> Faults;
  bool FaultClockOnSignal = false;  // the windows count from the first SIGUSR1
  uint16_t BootPid = 0x438;
  uint8_t BootVersion = 0x31;
  bool ExtendedErase = true;
  std::string FlashOut;
  bool Help = false;
};

// Fills `error` and returns nothing when the command line is wrong.
std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error);

std::string UsageText();

// Where bare port names are linked: $KELVORA_PORTS_DIR, else $XDG_RUNTIME_DIR/kelvora/ports,
// else /tmp/kelvora-<uid>/ports.
std::string PortsFolder();

// The link path for the --rtu argument: a PATH as given, a bare NAME inside the ports folder.
std::string LinkPathFor(const std::string& rtu);

}  // namespace kpxsim
