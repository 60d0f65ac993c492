#pragma once
// Which supply answered: its model's limits and current scaling, its firmware class and the
// features that follow from the class. The window applies the results to its controls; the
// command-line tool uses the same rules, so both identify a supply alike.

#include <QString>

#include <cstdint>
#include <optional>

#include "core/RegisterMap.h"
#include "core/UtilUnit.h"

// "4.3" for 43, "1.15" for 115, "5.0" for 5; "0.0" for a version number of 0.
QString VersionText(uint32_t versionRegister);

// "KPX5005 ver. 4.3GT"; "QH" from version 43 on with STATE bit 4.
QString ModelCaption(uint32_t model, uint32_t versionRegister, uint32_t state);

// Looks the model up and sets the model variables; an unlisted model keeps the previous limits.
// Resets fModel to what is known before the global block arrives. Returns the sensor flag.
bool SetupModelLimits(uint32_t model, TModel& fModel, bool resetCountersChecked);

// Firmware class from the identification registers; keeps `current` where the registers do
// not decide (version 43 or later with PVER below 43).
TVersion ClassifyFirmware(const TCurrentSet& data, TVersion current);

// The class and every feature flag from the global block. Returns false when the global block
// does not describe this supply (version below 36, or DVID not MODEL): then only the class
// changes, to ver_18.
bool DetectFirmwareFeatures(const TCurrentSet& data, TModel& fModel);

// Below ver_42 the high-temperature calibration step follows the sensor; from ver_42 on STATE bit 0.
bool HighTemperatureCalibrationOffered(const TCurrentSet& data, const TModel& fModel);

// Register layout A (whole-register flags) for ver_36 .. ver_4Z; B (PARAM bits) from ver_42.
inline bool UsesLayoutB(TVersion version) { return version >= TVersion::ver_42; }

// The once-per-run notice for this class: outdated firmware, outdated program, or none.
bool VersionNoticeDue(TVersion version);
std::optional<QString> VersionNoticeText(TVersion version);

// The first counter request after connecting: the whole VERSION register decides. Every other
// version check, the global block's among them, takes the version number (the low 12 bits).
inline bool ReadsCountersOnConnect(uint32_t versionRegister) {
  return versionRegister >= 43 || versionRegister == 41;
}
inline bool HasGlobalBlock(uint32_t versionRegister) {
  return Reg::VersionNumber(versionRegister) >= 36;
}
