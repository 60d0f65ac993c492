#pragma once
// What the calibration and battery-source tabs use of the main window: its device records,
// its calibration command, and the two pop-up entry windows.

#include <cstdint>
#include <functional>

#include "core/UtilUnit.h"

class TEnterForm;
class TEnterForm2;

struct TDeviceSettingsHost {
  TCurrentSet& gData;      // UOUT for the wait window; UIN, MINS and MAXS for the battery tab
  TCalibData& CalibData;   // the values the calibration fields show and edit
  const TModel& fModel;    // BSRC, the battery-source state the supply reported
  // Writes CLB_CMD, CLB_IDX and CLB_DATA through the scheduler; for calib_mode_fix the data are
  // the Value of point aIdx, otherwise DataL.
  std::function<void(TCalib_Mode aCmd, uint16_t aIdx, uint16_t DataL)> DoWriteCalibCmd;
  std::function<TEnterForm*()> EnterForm;    // four digits, for the battery voltages
  std::function<TEnterForm2*()> EnterForm2;  // five digits, for the calibration values
};
