#pragma once
// Ratings of the supply models and the identification registers each firmware generation shows.

#include <cstdint>
#include <optional>

namespace kpxsim {

struct ModelRating {
  uint16_t Umax;            // highest set voltage, 10 mV
  uint16_t Imax;            // highest set current, current units
  uint16_t Pmax;            // highest over-power limit, 0.1 W
  uint16_t CurrentDivider;  // 10: currents in 1 mA, 1: in 10 mA
  bool TempSensor;
};

// Models outside the family get the ratings a program assumes before it knows the model.
ModelRating RatingOf(uint16_t model);

// Amperes per current unit.
inline double AmpsPerUnit(const ModelRating& r) { return r.CurrentDivider == 10 ? 0.001 : 0.01; }

enum class FirmwareClass { Ver18, Ver36, Ver40, Ver4Z, Ver42, Ver43, VerNew };

struct Identity {
  uint16_t Model = 5005;
  uint16_t Version = 43;
  uint16_t Pver = 43;
  uint16_t Mgic = 0;
  uint16_t Dvid = 5005;
  uint16_t State = 0;
};

struct IdentityOverrides {
  std::optional<uint16_t> Pver{}, Mgic{}, Dvid{}, State{};
};

// Registers consistent with the model and version unless overridden.
Identity MakeIdentity(uint16_t model, uint16_t version, const IdentityOverrides& overrides);

FirmwareClass ClassOf(const Identity& id);

// Firmware of these classes keeps its own on-time, Ah and Wh counters.
bool HasCounters(FirmwareClass c);

// Layout B keeps the flags as PARAM bits; layout A as whole registers with the flag in bit 0.
bool UsesLayoutB(FirmwareClass c);

}  // namespace kpxsim
