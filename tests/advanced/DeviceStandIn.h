#pragma once
// The main window's records and calibration command as the advanced window's tabs see them,
// with the commands kept for the test to read.

#include <cstdint>
#include <memory>
#include <vector>

#include "advanced/DeviceSettingsHost.h"
#include "panel/EnterUnit.h"
#include "panel/EnterUnit2.h"

namespace kelvora::test {

struct CalibCommand {
  TCalib_Mode Cmd;
  uint16_t Idx;
  uint16_t Data;
  bool operator==(const CalibCommand&) const = default;
};

struct DeviceStandIn {
  TCurrentSet gData{};
  TCalibData CalibData{};
  TModel fModel{};
  std::vector<CalibCommand> Commands;
  std::unique_ptr<TEnterForm> EnterForm;
  std::unique_ptr<TEnterForm2> EnterForm2;

  // With entry windows when the test opens fields.
  TDeviceSettingsHost Host(bool aEntryWindows = false) {
    if (aEntryWindows) {
      EnterForm = std::make_unique<TEnterForm>();
      EnterForm2 = std::make_unique<TEnterForm2>();
    }
    return {gData, CalibData, fModel,
            [this](TCalib_Mode c, uint16_t i, uint16_t d) { Commands.push_back({c, i, d}); },
            [this] { return EnterForm.get(); }, [this] { return EnterForm2.get(); }};
  }
};

}  // namespace kelvora::test
