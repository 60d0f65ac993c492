#pragma once
// What the memory presets show and store, apart from any widget: the set-value text of the save
// prompt, profile captions, the charge level of the battery presets and which profile fields a
// firmware class lets the user edit.

#include <QString>

#include <cstdint>

#include "core/UtilUnit.h"

// Presets 0 .. 9 are the memory presets M0 .. M9, 10 .. 19 the battery-charge presets C0 .. C9.
inline constexpr uint32_t kPresetCount = 20;
inline constexpr uint32_t kMemoryPresets = 10;

// Four digits with a fixed point: 23.45 in voltage style, 2.345 in milliampere style; a space
// stands for a leading zero in voltage style, and values above 9999 read "-----".
QString FormatSetValue(uint32_t Value, bool Milliamps);

// "M3" or "C2".
QString PresetName(uint32_t mem);
// Caption of the Profile panel: "M3 Profile", or "M3 Settings" on firmware before profiles.
QString ProfileCaption(uint32_t mem, TVersion version);
// The question asked before the present set values are stored into memory preset mem.
QString SavePresetPrompt(uint32_t mem, uint32_t uset, uint32_t iset, bool milliamps);
// "Charge Lithium Battery 3 Cell(s)" for preset 12.
QString ChargeText(uint32_t mem);

// Charge level in percent with uset the end-of-charge voltage and uout the output voltage:
// empty at 3.0 V per cell of a 4.2 V per cell target.
int ChargePercent(uint32_t uset, uint32_t uout);

// The stored "Default on start" flag: layout A firmware marks its flag words with bit 15.
uint32_t DefaultOnStartFlag(TVersion version, bool checked);

// Which Profile and Parameters controls can be used.
struct TParameterEnables {
  bool Common;       // "Advanced", both "Save" of the parameters, backlight, counters, "Refresh"
  bool DefaultFlag;  // "Default on start"
  bool Parameters;   // over-heat limit and number of presets
  bool Overtime;
  bool PowerFlag;    // "Power on start"
  bool Values;       // the five value fields and the profile's "Save"
};
TParameterEnables ParameterEnables(bool enable, TVersion version, uint32_t mem);
