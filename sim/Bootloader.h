#pragma once
// The controller's built-in USART bootloader: activation by 0x7F, then commands of a code and
// its complement, each step acknowledged with ACK (0x79) or refused with NACK (0x1F).

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "sim/Faults.h"
#include "sim/FlashMemory.h"
#include "sim/Trace.h"

namespace kpxsim {

struct BootConfig {
  uint16_t Pid = 0x438;
  uint8_t Version = 0x31;
  bool ExtendedErase = true;  // offers 0x44; else 0x43
};

class Bootloader {
 public:
  static constexpr uint8_t kAck = 0x79, kNack = 0x1F, kActivate = 0x7F;

  Bootloader(const BootConfig& config, FlashMemory& flash, Trace& trace, FaultPlan& faults);

  // After a reset the bootloader waits for the activation byte.
  void Reset();
  // One byte from the line; returns what the bootloader answers to it.
  std::vector<uint8_t> Feed(uint8_t byte, double nowMs);
  // Go was accepted: the application runs again.
  bool Started() const { return started_; }

 private:
  using Step = std::function<void(std::span<const uint8_t>)>;
  void Expect(size_t count, Step then);
  void AwaitActivation();
  void AwaitCommand();
  void Dispatch(uint8_t code);
  // Reads an address frame; NACKs it unless the address lies in the flash.
  void ExpectAddress(std::function<void(uint32_t)> then);
  void Finish(uint8_t code, const char* name, bool ok, JsonObject fields = {});

  void Get();
  void GetVersion();
  void GetId();
  void ReadMemory();
  void Go();
  void WriteMemory();
  void Erase();
  void ExtendedErase();
  void Unprotect(uint8_t code, const char* name, bool eraseFlash);
  void ErasePages(uint8_t code, const char* name, const std::vector<uint32_t>& pages);

  BootConfig config_;
  FlashMemory& flash_;
  Trace& trace_;
  FaultPlan& faults_;
  double nowMs_ = 0;
  bool started_ = false;
  size_t need_ = 0;
  Step then_;
  std::vector<uint8_t> in_;
  std::vector<uint8_t> out_;
};

}  // namespace kpxsim
