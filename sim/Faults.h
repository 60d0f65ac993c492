#pragma once
// Faults injected on purpose, each optionally limited to a window of milliseconds since start.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kpxsim {

enum class FaultKind { DropEvery, CorruptEvery, DelayMs, Unlock, Vanish, Protect, NackBlock, CutMidFrame, PowerCycle };

struct FaultSpec {
  FaultKind Kind;
  uint32_t Value = 0;  // N of the counting faults, the delay, the protection code, the block
  double FromMs = 0;
  std::optional<double> ToMs;  // open-ended when absent

  bool ActiveAt(double nowMs) const { return nowMs >= FromMs && (!ToMs || nowMs < *ToMs); }
};

// Parses "drop-every=N", "unlock@2000", "vanish@5000-6000" and the like. The events of a
// moment, cut-mid-frame and power-cycle, need "@T" and take no end.
std::optional<FaultSpec> ParseFault(std::string_view text, std::string* error);

// A fault entering or leaving its window.
struct FaultEdge {
  FaultKind Kind;
  uint32_t Value;
  bool Entered;
  bool Bounded;  // the window has an end
};

class FaultPlan {
 public:
  explicit FaultPlan(std::vector<FaultSpec> rules = {});

  // Counts one Modbus answer about to leave; true when it must be lost.
  bool DropAnswer(double nowMs);
  // Counts one Modbus answer about to leave; true when it must be damaged.
  bool CorruptAnswer(double nowMs);
  // Extra time before a Modbus answer leaves.
  double AnswerDelayMs(double nowMs) const;
  // Whether the bootloader refuses the write of this 256-byte block of the flash.
  bool NackBlock(uint32_t block, double nowMs) const;

  // The windows entered or left since the previous call.
  std::vector<FaultEdge> Step(double nowMs);

 private:
  struct Entry {
    FaultSpec Rule;
    uint32_t Count = 0;
    bool Active = false;
  };
  bool Counted(FaultKind kind, double nowMs);
  std::vector<Entry> entries_;
};

}  // namespace kpxsim
