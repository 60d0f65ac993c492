#pragma once
// The supply behind the registers: set-points, output with a resistive load, protections,
// presets, counters, temperature, key lock, identification and calibration.

#include <array>
#include <cstdint>
#include <optional>

#include "sim/Calibration.h"
#include "sim/ModelTable.h"

namespace kpxsim {

struct SupplyConfig {
  Identity Id;
  double LoadOhms = 10.0;
  std::optional<double> VinVolts;  // default: the model's highest voltage + 5 V
};

class Supply {
 public:
  static constexpr uint16_t kRegisterCount = 428;  // 0..47, presets 80..399, calibration 400..427

  explicit Supply(const SupplyConfig& config);

  // Whether every register of [start, start + count) exists.
  static bool InMap(uint32_t start, uint32_t count);

  // The register file; a Modbus server reads and writes it directly.
  uint16_t* Registers() { return regs_.data(); }
  uint16_t Reg(uint16_t n) const { return regs_[n]; }

  // Runs the model up to nowMs and refreshes the measured registers.
  void Advance(double nowMs);

  // Reacts to a client's write of [start, start + count), already stored in the registers.
  void Written(uint16_t start, uint16_t count);

  // The firmware starts afresh, as after the bootloader: output off, keys unlocked, the active
  // preset's set-points loaded. Presets, calibration and counters are kept.
  void Restart();

  // A person pressed the lock key on the supply.
  void Unlock();
  // While held the keys stay unlocked whatever a client writes.
  void HoldUnlocked(bool held);
  // The output goes off with this protection code.
  void Trip(uint16_t code);
  // While a code is held the output trips with it and refuses to switch on.
  void HoldTrip(std::optional<uint16_t> code);

  FirmwareClass Class() const { return class_; }
  const Calibration& Calib() const { return calibration_; }

 private:
  void WriteIdentity();
  void WriteCalibration();
  void LoadPreset(uint16_t mem);
  void SwitchOn();
  void ResetCounters();
  bool ResetCountersAtSwitchOn() const;
  void CheckProtections(double volts, double amps);
  void Put32(uint16_t low, uint32_t value);

  std::array<uint16_t, kRegisterCount> regs_{};
  Identity id_;
  ModelRating rating_;
  FirmwareClass class_;
  Calibration calibration_;
  double loadOhms_;
  double vin_;
  double lastMs_ = 0;
  bool on_ = false;
  bool lockHeld_ = false;
  std::optional<uint16_t> heldTrip_;
  uint16_t protect_ = 0;
  double onSeconds_ = 0;  // since the output was last switched on
  double timeCounter_ = 0, ahCounter_ = 0, whCounter_ = 0;  // s, 0.01 Ah, 0.01 Wh
  double temperature_ = 25.0;
};

}  // namespace kpxsim
