#include "sim/Options.h"

#include <arpa/inet.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string_view>

namespace kpxsim {

namespace {
bool ParseNumber(const std::string& text, uint64_t max, uint64_t& out) {
  if (text.empty() || text[0] == '-') return false;
  const bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  char* end = nullptr;
  errno = 0;
  const unsigned long long v = std::strtoull(text.c_str() + (hex ? 2 : 0), &end, hex ? 16 : 10);
  if (errno || *end || end == text.c_str() + (hex ? 2 : 0) || v > max) return false;
  out = v;
  return true;
}

bool ParseReal(const std::string& text, double& out) {
  char* end = nullptr;
  out = std::strtod(text.c_str(), &end);
  return !text.empty() && *end == '\0' && std::isfinite(out) && out >= 0;
}

// The options that take a value: all but --help.
constexpr std::array<std::string_view, 20> kOptions{
    "--model", "--firmware", "--pver", "--mgic", "--dvid", "--state", "--slave",
    "--rtu", "--tcp", "--baud", "--boot-baud", "--load", "--vin", "--trace",
    "--fault", "--fault-clock", "--boot-pid", "--boot-version", "--erase", "--flash-out"};

bool Known(const std::string& opt) {
  return std::find(kOptions.begin(), kOptions.end(), opt) != kOptions.end();
}

// The input voltage register counts 10 mV in 16 bits.
constexpr double kVinMaxVolts = 655.35;
}  // namespace

std::string UsageText() {
  return R"(usage: kpx-sim [options]
  --model N             3003 3005 3012 5005 5015 5020 6012 8005, or any other number (default 5005)
  --firmware V          VERSION register, decimal or 0x... (default 43)
  --pver N --mgic N --dvid N --state N
                        identification registers; defaults consistent with --model and --firmware
  --slave N             Modbus address (default 1)
  --rtu NAME|PATH       serve Modbus RTU on a new pseudo-terminal; a symlink to its slave side is made at
                        PATH (in a folder that exists), or for a bare NAME in the ports folder
  --tcp [ADDR:]PORT     serve Modbus TCP (ADDR 127.0.0.1 unless given; PORT 0 picks a free port)
  --baud N              emulate the wire time of N baud both ways, 10 bits a byte (8N1)
  --boot-baud N         the same for the bootloader side, 11 bits a byte (8E1); default 38400 when --baud
                        is given, else none
  --load OHMS           resistive load on the output (default 10)
  --vin VOLTS           input voltage, 0 to 655.35 (default: the model's highest voltage + 5 V)
  --trace FILE          one JSON object per line for every request received and every answer sent
  --fault SPEC          repeatable: drop-every=N, corrupt-every=N, delay-ms=N, unlock, vanish,
                        protect=CODE, nack-block=N, nack-once=N (block N is refused the first
                        time only, as after a glitch); loss=P%[,seed=N] loses that share of the
                        answers at random (the same ones for the same seed); idle-close-ms=N
                        closes a TCP client idle for N ms; corrupt-every damages the CRC of an
                        RTU answer and the function code of a TCP answer; a SPEC may end in
                        @FROM[-TO] (milliseconds since start) to act only in that window, e.g.
                        drop-every=1@3000-6000, unlock@2000, vanish@5000
  --fault-clock start|signal
                        what the windows' milliseconds count from: the start (default), or the
                        first SIGUSR1, before which no fault acts, so that a test can let the
                        faults begin once its client is connected
  --boot-pid N          product ID the bootloader reports (default 0x438)
  --boot-version N      bootloader version byte (default 0x31)
  --erase ext|std       erase command the bootloader offers, 0x44 or 0x43 (default ext)
  --flash-out FILE      write the flash image to FILE whenever the bootloader changes it
The ports folder is $KELVORA_PORTS_DIR, else $XDG_RUNTIME_DIR/kelvora/ports, else
/tmp/kelvora-<uid>/ports.
)";
}

std::optional<Options> ParseOptions(const std::vector<std::string>& args, std::string* error) {
  Options o;
  std::optional<uint32_t> bootBaud;
  const auto fail = [&](const std::string& why) -> std::optional<Options> {
    if (error) *error = why;
    return std::nullopt;
  };
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& opt = args[i];
    if (opt == "--help" || opt == "-h") {
      o.Help = true;
      return o;
    }
    if (!Known(opt)) return fail("unknown option " + opt);
    if (i + 1 >= args.size()) return fail("missing value for " + opt);
    const std::string& val = args[++i];
    uint64_t n = 0;
    const auto number = [&](uint64_t max) {
      if (!ParseNumber(val, max, n)) throw std::string("bad value for " + opt + ": " + val);
      return n;
    };
    try {
      if (opt == "--model") o.Model = static_cast<uint16_t>(number(0xFFFF));
      else if (opt == "--firmware") o.Firmware = static_cast<uint16_t>(number(0xFFFF));
      else if (opt == "--pver") o.Overrides.Pver = static_cast<uint16_t>(number(0xFFFF));
      else if (opt == "--mgic") o.Overrides.Mgic = static_cast<uint16_t>(number(0xFFFF));
      else if (opt == "--dvid") o.Overrides.Dvid = static_cast<uint16_t>(number(0xFFFF));
      else if (opt == "--state") o.Overrides.State = static_cast<uint16_t>(number(0xFFFF));
      else if (opt == "--slave") {
        o.Slave = static_cast<uint8_t>(number(247));
        if (o.Slave == 0) return fail("--slave must be 1 to 247");
      } else if (opt == "--rtu") o.Rtu = val;
      else if (opt == "--tcp") {
        o.Tcp = true;
        std::string port = val;
        if (const auto colon = val.rfind(':'); colon != std::string::npos) {
          o.TcpAddress = val.substr(0, colon);
          port = val.substr(colon + 1);
        }
        in_addr address{};
        if (::inet_pton(AF_INET, o.TcpAddress.c_str(), &address) != 1)
          return fail("bad --tcp address: " + val);
        if (!ParseNumber(port, 0xFFFF, n)) return fail("bad --tcp port: " + val);
        o.TcpPort = static_cast<uint16_t>(n);
      } else if (opt == "--baud") o.Baud = static_cast<uint32_t>(number(10'000'000));
      else if (opt == "--boot-baud") bootBaud = static_cast<uint32_t>(number(10'000'000));
      else if (opt == "--load") {
        if (!ParseReal(val, o.LoadOhms)) return fail("bad --load: " + val);
      } else if (opt == "--vin") {
        double v = 0;
        if (!ParseReal(val, v) || v > kVinMaxVolts)
          return fail("bad --vin: " + val + " (0 to 655.35 V)");
        o.VinVolts = v;
      } else if (opt == "--trace") o.TracePath = val;
      else if (opt == "--fault") {
        std::string why;
        const auto rule = ParseFault(val, &why);
        if (!rule) return fail(why);
        o.Faults.push_back(*rule);
      } else if (opt == "--fault-clock") {
        if (val != "start" && val != "signal") return fail("--fault-clock takes start or signal");
        o.FaultClockOnSignal = val == "signal";
      } else if (opt == "--boot-pid") o.BootPid = static_cast<uint16_t>(number(0xFFFF));
      else if (opt == "--boot-version") o.BootVersion = static_cast<uint8_t>(number(0xFF));
      else if (opt == "--erase") {
        if (val != "ext" && val != "std") return fail("--erase takes ext or std");
        o.ExtendedErase = val == "ext";
      } else if (opt == "--flash-out") o.FlashOut = val;
    } catch (const std::string& why) {
      return fail(why);
    }
  }
  if (o.Rtu.empty() && !o.Tcp) return fail("nothing to serve: give --rtu and/or --tcp");
  o.BootBaud = bootBaud.value_or(o.Baud ? 38400 : 0);
  return o;
}

std::string PortsFolder() {
  if (const char* dir = std::getenv("KELVORA_PORTS_DIR"); dir && *dir) return dir;
  if (const char* run = std::getenv("XDG_RUNTIME_DIR"); run && *run)
    return std::string(run) + "/kelvora/ports";
  return "/tmp/kelvora-" + std::to_string(::getuid()) + "/ports";
}

std::string LinkPathFor(const std::string& rtu) {
  return rtu.find('/') == std::string::npos ? PortsFolder() + "/" + rtu : rtu;
}

}  // namespace kpxsim
