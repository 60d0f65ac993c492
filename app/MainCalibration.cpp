// The main window's side of the calibration and battery-source tabs: the records they edit,
// the calibration requests, and what identification and the "Advanced" button tell them.

#include "app/MainUnit.h"

#include <QCheckBox>
#include <QPushButton>

#include "advanced/AdvancedUnit.h"
#include "advanced/BatterySource.h"
#include "advanced/Calibration.h"
#include "core/ModelIdentity.h"
#include "app/ProgramWindows.h"
#include "core/RegisterMap.h"
#include "panel/EnterUnit.h"
#include "panel/EnterUnit2.h"

TDeviceSettingsHost TMainForm::DeviceSettingsHost() {
  return {gData,
          CalibData,
          fModel,
          [this](TCalib_Mode aCmd, uint16_t aIdx, uint16_t DataL) { DoWriteCalibCmd(aCmd, aIdx, DataL); },
          [] { return EnterForm.data(); },
          [] { return EnterForm2.data(); }};
}

void TMainForm::DoReadCalibData() {
  // Firmware without the global block has no calibration block either.
  if (fConnected && fModel.Version != TVersion::ver_18) fTaskMgr->ReadCalibData();
}

void TMainForm::DoWriteCalibCmd(TCalib_Mode aCmd, uint16_t aIdx, uint16_t DataL) {
  uint32_t data = DataL;
  if (aCmd == TCalib_Mode::calib_mode_fix && aIdx >= 1 && aIdx <= 7)
    data = (&CalibData.Uin1)[aIdx - 1].Value;
  gData.CLB_CMD = static_cast<uint16_t>(aCmd);
  gData.CLB_IDX = aIdx;
  gData.CLB_DATA_L = static_cast<uint16_t>(data & 0xFFFF);
  gData.CLB_DATA_H = static_cast<uint16_t>(data >> 16);
  fTaskMgr->WriteCalibCmd();
}

void TMainForm::ShowCalibrationModel(uint32_t model) {
  if (!AdvancedForm) return;
  TCalibration& calibration = AdvancedForm->Calibration();
  calibration.Calib_Temp_Btn2()->setEnabled(HighTemperatureCalibrationOffered(gData, fModel));
  calibration.FillIoutHighGroup(static_cast<uint16_t>(model));
}

void TMainForm::PrepareAdvancedDevice() {
  if (fModel.BatterySourceEnable) AdvancedForm->BatterySource().UpdateBattery();
  DoReadCalibData();
  TCalibration& calibration = AdvancedForm->Calibration();
  calibration.SelectLowestIoutHigh();
  if (CurrentDivider == 10)
    calibration.SetCurrentDivider_10();
  else
    calibration.SetCurrentDivider_1();
}

void TMainForm::StoreBatterySource() {
  if (!fModel.BatterySourceEnable) return;
  const bool on = AdvancedForm->BatterySource().BatteryCheckBox()->isChecked();
  if (UsesLayoutB(fModel.Version))
    SetBits<uint32_t>(gData.PARAM, Reg::kParamBatterySource, on);
  else
    gData.PARAM = on ? Reg::kLayoutAFlagSet : Reg::kLayoutAFlagClear;
  fModel.BSRC = on;
}
