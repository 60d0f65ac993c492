#pragma once
// The supply's Modbus side. libmodbus checks and answers each request against the register
// file; its answer is written into a socket pair and collected here, so that the simulator can
// trace it, damage it or hold it back before it goes on the wire.

#include <modbus/modbus.h>

#include <cstdint>
#include <span>
#include <vector>

#include "sim/Json.h"
#include "sim/Supply.h"
#include "sim/Trace.h"

namespace kpxsim {

enum class Link { Rtu, Tcp };

struct ModbusAnswer {
  std::vector<uint8_t> Bytes;  // empty: nothing is answered
  JsonObject Fields;           // what the "ans" trace line tells about it
  bool JumpToBootloader = false;
};

class ModbusSlave {
 public:
  ModbusSlave(Supply& supply, Trace& trace, uint8_t address);
  ~ModbusSlave();
  ModbusSlave(const ModbusSlave&) = delete;
  ModbusSlave& operator=(const ModbusSlave&) = delete;

  bool Ready() const { return rtu_ && tcp_ && pair_[0] >= 0; }

  // One request: an RTU frame with its CRC, or a TCP frame with its MBAP header. The supply
  // must have been advanced to the present. Traces the request.
  ModbusAnswer Handle(Link link, std::span<const uint8_t> adu);

 private:
  std::vector<uint8_t> Collect();

  Supply& supply_;
  Trace& trace_;
  uint8_t address_;
  modbus_t* rtu_ = nullptr;
  modbus_t* tcp_ = nullptr;
  int pair_[2] = {-1, -1};
  modbus_mapping_t mapping_{};
};

}  // namespace kpxsim
