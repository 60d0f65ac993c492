#include "sim/ModelTable.h"

#include <array>

#include "core/RegisterMap.h"

namespace kpxsim {

namespace {
struct Row {
  uint16_t Model;
  ModelRating Rating;
};

constexpr std::array<Row, 8> kModels{{
    {3003, {3100, 3100, 900, 10, false}},
    {3005, {3100, 5100, 1500, 10, false}},
    {3012, {3100, 1210, 3600, 1, true}},
    {5005, {5100, 5100, 2652, 10, false}},
    {5015, {5100, 1510, 7750, 1, true}},
    {5020, {5100, 2010, 9999, 1, true}},
    {6012, {6100, 1210, 7200, 1, true}},
    {8005, {8100, 5100, 4500, 10, true}},
}};

constexpr ModelRating kUnknownModel{5100, 2010, 9999, 1, false};
}  // namespace

ModelRating RatingOf(uint16_t model) {
  for (const Row& row : kModels)
    if (row.Model == model) return row.Rating;
  return kUnknownModel;
}

Identity MakeIdentity(uint16_t model, uint16_t version, const IdentityOverrides& overrides) {
  const uint16_t v = Reg::VersionNumber(version);
  Identity id;
  id.Model = model;
  id.Version = version;
  // Old firmware has no global block, so it shows no device identification there.
  id.Dvid = overrides.Dvid.value_or(v >= 36 ? model : 0);
  id.Mgic = overrides.Mgic.value_or(0);
  // Layout B firmware reports its parameter layout; layout A keeps a flag register there.
  id.Pver = overrides.Pver.value_or(v >= 43 ? 43 : v == 42 ? 42 : 0);
  id.State = overrides.State.value_or(RatingOf(model).TempSensor ? 1 : 0);
  return id;
}

FirmwareClass ClassOf(const Identity& id) {
  const uint16_t v = Reg::VersionNumber(id.Version);
  if (v < 36 || id.Dvid != id.Model) return FirmwareClass::Ver18;
  if (v < 40) return FirmwareClass::Ver36;
  if (v == 40) return FirmwareClass::Ver40;
  if (v == 41) return id.Mgic == Reg::kMagicVer4Z ? FirmwareClass::Ver4Z : FirmwareClass::Ver40;
  if (v == 42) return FirmwareClass::Ver42;
  return id.Pver > 43 ? FirmwareClass::VerNew : FirmwareClass::Ver43;
}

bool HasCounters(FirmwareClass c) {
  return c == FirmwareClass::Ver4Z || c == FirmwareClass::Ver43 || c == FirmwareClass::VerNew;
}

bool UsesLayoutB(FirmwareClass c) {
  return c == FirmwareClass::Ver42 || c == FirmwareClass::Ver43 || c == FirmwareClass::VerNew;
}

}  // namespace kpxsim
