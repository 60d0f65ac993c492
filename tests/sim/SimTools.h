#pragma once
// What the process tests of kpx-sim need around it: outside tools run to completion, a private
// folder, a plain libmodbus client and the lines of a trace.

#include <modbus/modbus.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kelvora::test {

struct ToolResult {
  int Code = -1;       // exit code; 128 + signal when killed
  std::string Output;  // stdout and stderr together
};

// Runs argv[0] from PATH; kills it after timeoutMs.
ToolResult RunTool(const std::vector<std::string>& argv, int timeoutMs = 10000);

// A folder that is removed with everything in it.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// A Modbus master built on libmodbus, independent of the program's own.
class ModbusClient {
 public:
  // Long enough for a loaded test machine; tests that wait for a lost answer set a short one.
  static constexpr int kPatientMs = 2000;
  static ModbusClient Rtu(const std::string& path, int slave = 1);
  static ModbusClient Tcp(const std::string& address, uint16_t port);
  ModbusClient(ModbusClient&& other) noexcept : ctx_(other.ctx_) { other.ctx_ = nullptr; }
  ModbusClient& operator=(ModbusClient&&) = delete;
  ~ModbusClient();

  bool Connected() const { return connected_; }
  void SetTimeoutMs(int ms);
  std::optional<std::vector<uint16_t>> Read(int address, int count);
  bool Write(int address, uint16_t value);
  bool Write(int address, const std::vector<uint16_t>& values);
  // errno of the last failure: EMBXILFUN, EMBXILADD, ETIMEDOUT, EMBBADCRC ...
  int LastError() const { return error_; }
  modbus_t* Context() { return ctx_; }

 private:
  explicit ModbusClient(modbus_t* ctx);
  modbus_t* ctx_;
  bool connected_ = false;
  int error_ = 0;
};

// Raw bytes over the serial link, for the bootloader side.
class RawPort {
 public:
  explicit RawPort(const std::string& path);
  ~RawPort();
  RawPort(const RawPort&) = delete;
  RawPort& operator=(const RawPort&) = delete;
  bool Write(const std::vector<uint8_t>& bytes);
  // Up to `count` bytes, as many as arrive within timeoutMs.
  std::vector<uint8_t> Read(size_t count, int timeoutMs = 1000);

 private:
  int fd_;
};

std::vector<std::string> ReadLines(const std::string& path);

// Milliseconds a call takes.
template <typename F>
double TimedMs(F&& f);

}  // namespace kelvora::test

#include <chrono>

template <typename F>
double kelvora::test::TimedMs(F&& f) {
  const auto start = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
}
