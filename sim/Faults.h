#pragma once
// Faults injected on purpose, each optionally limited to a window of milliseconds since start.

#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace kpxsim {

enum class FaultKind { DropEvery, CorruptEvery, DelayMs, Unlock, Vanish, Protect, NackBlock,
  NackOnce, Loss, IdleCloseMs };

struct FaultSpec {
  FaultKind Kind;
  uint32_t Value = 0;  // N of the counting faults, the delay, the protection code, the block
  uint32_t Seed = 0;   // of the random loss, which repeats for the same seed
  double FromMs = 0;
  std::optional<double> ToMs;  // open-ended when absent

  bool ActiveAt(double nowMs) const { return nowMs >= FromMs && (!ToMs || nowMs < *ToMs); }
};

// Parses "drop-every=N", "unlock@2000", "vanish@5000-6000", "loss=5%,seed=7" and the like.
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
  // The windows count from the simulator's start, or, with clockOnSignal, from StartClock, and
  // no fault acts before it.
  explicit FaultPlan(std::vector<FaultSpec> rules = {}, bool clockOnSignal = false);

  // Starts the windows' clock (the first call counts).
  void StartClock(double nowMs);

  // Counts one Modbus answer about to leave; true when it must be lost (every Nth, or by chance).
  bool DropAnswer(double nowMs);
  // Counts one Modbus answer about to leave; true when it must be damaged.
  bool CorruptAnswer(double nowMs);
  // Extra time before a Modbus answer leaves.
  double AnswerDelayMs(double nowMs) const;
  // How long a TCP client may stay idle before the bridge closes its connection; 0: for ever.
  double IdleCloseMs(double nowMs) const;
  // Whether the bootloader refuses the write of this 256-byte block of the flash (counts the
  // refusals of a block refused only once).
  bool NackBlock(uint32_t block, double nowMs);

  // The windows entered or left since the previous call.
  std::vector<FaultEdge> Step(double nowMs);

 private:
  struct Entry {
    FaultSpec Rule;
    uint32_t Count = 0;
    bool Active = false;
    std::minstd_rand Chance;
  };
  bool Counted(FaultKind kind, double nowMs);
  bool Active(const FaultSpec& rule, double nowMs) const {
    return origin_ && rule.ActiveAt(nowMs - *origin_);
  }
  std::vector<Entry> entries_;
  std::optional<double> origin_;
};

}  // namespace kpxsim
