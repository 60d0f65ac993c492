// The scheduler's requests and their answers, and the 100 ms display timer that counts
// on-time and energy and raises the periodic reads.
#include <QLabel>

#include "advanced/AdvancedUnit.h"
#include "app/CategoryPanel.h"
#include "core/ErrorReport.h"
#include "app/GuiWait.h"
#include "app/MainUnit.h"
#include "app/ProgramWindows.h"
#include "core/RegisterMap.h"
#include "logging/DataLog.h"
#include "logging/LogOptions.h"
#include "features/Oscilloscope.h"
#include "features/Presets.h"
#include "features/Parameters.h"
#include "modbus/KRModbusMaster.h"
#include "panel/Indicator.h"
#include "panel/dsLeds.h"

namespace {
constexpr int kTemperatureTicks = 587;  // 58.7 s
constexpr int kCountersTicks = 297;     // 29.7 s
constexpr int kAutoexpandTicks = 5;
constexpr uint16_t kJumpToBootloader = 9148;

uint32_t Distance(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }
}  // namespace

void TMainForm::BindSchedulerEvents() {
  auto bind = [this](void (TMainForm::*handler)()) {
    return Guarded([this, handler](void*) { (this->*handler)(); });
  };
  TLN_TaskMgr& t = *fTaskMgr;
  t.SetOnReadData(bind(&TMainForm::RequestData));
  t.SetOnReadSetData(bind(&TMainForm::RequestSetData));
  t.SetOnReadTemperature(bind(&TMainForm::RequestTemperature));
  t.SetOnReadDebugData(bind(&TMainForm::RequestDebugData));
  t.SetOnReadGlobalData(bind(&TMainForm::RequestGlobalData));
  t.SetOnReadMemNum(bind(&TMainForm::RequestMemNum));
  t.SetOnReadMemNumAndCounters(bind(&TMainForm::RequestMemNumAndCounters));
  t.SetOnReadMemory(bind(&TMainForm::RequestMemory));
  t.SetOnReadCalibData(bind(&TMainForm::RequestCalibData));
  t.SetOnWriteSetData(bind(&TMainForm::SendSetData));
  t.SetOnWriteOnOff(bind(&TMainForm::SendOnOff));
  t.SetOnWriteBled(bind(&TMainForm::SendBled));
  t.SetOnWriteMemNum(bind(&TMainForm::SendMemNum));
  t.SetOnWriteCommand(bind(&TMainForm::SendCommand));
  t.SetOnWriteJumpBoot(bind(&TMainForm::SendJumpBoot));
  t.SetOnWriteGlobalData(bind(&TMainForm::SendGlobalData));
  t.SetOnWriteMemory(bind(&TMainForm::SendMemory));
  t.SetOnWriteCalibCmd(bind(&TMainForm::SendCalibCmd));
  t.SetOnError(bind(&TMainForm::ConnectionFailed));
  t.SetOnTimeout(bind(&TMainForm::ConnectionTimeout));
}

// ---- Issuing requests ------------------------------------------------------------------------

TMBMCallBack TMainForm::Answer(std::function<void(int32_t, const TKRRegisters*)> handler) {
  return Guarded([this, handler = std::move(handler)](int32_t AError, void* AData) {
    const auto* registers = static_cast<const TKRRegisters*>(AData);
    if (!GuiWaitActive()) {
      handler(AError, AError == 0 ? registers : nullptr);
      return;
    }
    // The decoded registers live only during this call: the held answer keeps a copy.
    std::optional<TKRRegisters> copy;
    if (AError == 0 && registers) copy = *registers;
    fHeldAnswers.push_back([handler, AError, copy] {
      handler(AError, copy ? &*copy : nullptr);
    });
  });
}

void TMainForm::FlushHeldAnswers() {
  auto held = std::exchange(fHeldAnswers, {});
  if (held.empty()) return;
  QMetaObject::invokeMethod(
      this,
      Guarded([this, held = std::move(held)] {
        if (!fModbusMaster->Active()) return;  // the link closed meanwhile: answers are dropped
        for (const auto& answer : held) answer();
      }),
      Qt::QueuedConnection);
}

void TMainForm::ReadRegisters(uint16_t start, uint16_t count,
                              std::function<void(int32_t, const TKRRegisters*)> handler) {
  fModbusMaster->ReadHoldingRegisters(
      fmbType, fMBaddr, start, count,
      Answer([handler = std::move(handler), count](int32_t AError, const TKRRegisters* AData) {
        // An answer that carries fewer registers than asked for is an error, never decoded.
        if (AError == 0 && (!AData || AData->size() < count)) AError = -3;
        handler(AError, AError == 0 ? AData : nullptr);
      }));
}

void TMainForm::WriteRegister(uint16_t reg, uint16_t value, std::function<void(int32_t)> handler) {
  fModbusMaster->WriteHoldingRegister(
      fmbType, fMBaddr, reg, value,
      handler ? Answer([handler](int32_t AError, const TKRRegisters*) { handler(AError); })
              : TMBMCallBack{});
}

void TMainForm::WriteRegisters(uint16_t start, const TKRRegisters& values,
                               std::function<void(int32_t)> handler) {
  fModbusMaster->WriteHoldingRegisters(
      fmbType, fMBaddr, start, values,
      Answer([handler](int32_t AError, const TKRRegisters*) { handler(AError); }));
}

void TMainForm::RequestData() {
  ModbusLedOn();
  ReadRegisters(0, 10, [this](int32_t e, const TKRRegisters* r) { LiveDataRead(e, r); });
}

void TMainForm::RequestSetData() {
  ModbusLedOn();
  ReadRegisters(0, 2, [this](int32_t e, const TKRRegisters* r) { SetDataRead(e, r); });
}

void TMainForm::RequestTemperature() {
  ModbusLedOn();
  ReadRegisters(Reg::TMP, 1, [this](int32_t e, const TKRRegisters* r) { TemperatureRead(e, r); });
}

void TMainForm::RequestDebugData() {
  ModbusLedOn();
  ReadRegisters(Reg::DEBUG_DATA, 1,
                [this](int32_t e, const TKRRegisters* r) { DebugDataRead(e, r); });
}

void TMainForm::RequestGlobalData() {
  ModbusLedOn();
  ReadRegisters(Reg::MGIC, 15, [this](int32_t e, const TKRRegisters* r) { GlobalDataRead(e, r); });
}

void TMainForm::RequestMemNum() {
  ModbusLedOn();
  ReadRegisters(Reg::MEM, 1, [this](int32_t e, const TKRRegisters* r) { MemNumRead(e, r); });
}

void TMainForm::RequestMemNumAndCounters() {
  ModbusLedOn();
  ReadRegisters(Reg::TIME_L, 7,
                [this](int32_t e, const TKRRegisters* r) { MemNumAndCountersRead(e, r); });
}

void TMainForm::RequestMemory() {
  ModbusLedOn();
  ReadRegisters(Reg::MemoryBlockStart(gData.MEM), Reg::kMemoryRegisters,
                [this](int32_t e, const TKRRegisters* r) { MemoryRead(e, r); });
}

void TMainForm::RequestCalibData() {
  ModbusLedOn();
  ReadRegisters(Reg::kCalibBase, Reg::kCalibRegisters,
                [this](int32_t e, const TKRRegisters* r) { CalibDataRead(e, r); });
}

void TMainForm::SendSetData() {
  // Nothing changed since the last write: no request, so no answer; the time-out tick follows.
  if (gData.USET == fPrevUset && gData.ISET == fPrevIset) return;
  fPrevUset = gData.USET;
  fPrevIset = gData.ISET;
  ModbusLedOn();
  WriteRegisters(Reg::USET, {static_cast<uint16_t>(gData.USET), static_cast<uint16_t>(gData.ISET)},
                 [this](int32_t e) { WriteDone(e); });
}

void TMainForm::SendOnOff() {
  ModbusLedOn();
  if (fPowerOn)
    WriteRegister(Reg::ONOFF, 1, [this](int32_t e) { OnOffWritten(e); });
  else
    WriteRegister(Reg::ONOFF, 0, [this](int32_t e) { OffWritten(e); });
}

void TMainForm::SendBled() {
  ModbusLedOn();
  WriteRegister(Reg::BLED, static_cast<uint16_t>(gData.BLED), [this](int32_t e) { WriteDone(e); });
}

void TMainForm::SendMemNum() {
  ModbusLedOn();
  WriteRegister(Reg::MEM, gData.MEM, [this](int32_t e) { MemNumWritten(e); });
}

void TMainForm::SendCommand() {
  ModbusLedOn();
  WriteRegister(Reg::CMD, gData.CMD, [this](int32_t e) { WriteDone(e); });
}

void TMainForm::SendJumpBoot() {
  gData.CMD = kJumpToBootloader;
  ModbusLedOn();
  WriteRegister(Reg::CMD, gData.CMD, {});  // the supply leaves its firmware: no answer comes
}

void TMainForm::SendGlobalData() {
  TKRRegisters values;
  const TRequestSpec& block = RequestSpec(TRequestKind::WriteGlobalData);
  for (int reg = block.Start; reg < block.Start + block.Count; ++reg)
    values.push_back(static_cast<uint16_t>(RegisterField(gData, reg)));
  ModbusLedOn();
  WriteRegisters(block.Start, values, [this](int32_t e) { WriteDone(e); });
}

void TMainForm::SendMemory() {
  TKRRegisters values;
  for (int offset = 0; offset < Reg::kMemoryRegisters; ++offset)
    values.push_back(static_cast<uint16_t>(MemoryField(gMemory, offset)));
  ModbusLedOn();
  WriteRegisters(Reg::MemoryBlockStart(gData.MEM), values, [this](int32_t e) { WriteDone(e); });
}

void TMainForm::SendCalibCmd() {
  ModbusLedOn();
  WriteRegisters(Reg::CLB_CMD,
                 {gData.CLB_CMD, gData.CLB_IDX, gData.CLB_DATA_L, gData.CLB_DATA_H},
                 [this](int32_t e) { WriteDone(e); });
}

// ---- Answers -----------------------------------------------------------------------------------

void TMainForm::LiveDataRead(int32_t AError, const TKRRegisters* AData) {
  if (AError != 0) {
    ShowModbusResult(AError);
    return;
  }
  // The 5 ms to the next round count from the answer, not from the end of the redraw: arming
  // the scheduler first keeps the handling out of every polling round.
  fTaskMgr->Callback();
  const TKRRegisters& r = *AData;
  // 1. The supply's set values against the program's.
  const bool tolerant = fModel.Version < TVersion::ver_43 && fModel.SMART;
  const uint32_t slack = tolerant ? 9 : 0;
  UsetErrorLed->SetLedOn(Distance(gData.USET, r[0]) > slack);
  IsetErrorLed->SetLedOn(Distance(gData.ISET, r[1]) > slack);
  // 2.
  const bool mismatch = UsetErrorLed->LedOn() || IsetErrorLed->LedOn();
  if (mismatch != fShadowColorOn) SetShadowColor(mismatch);
  // 3. Register 4 is not used: the power is computed from the output values.
  gData.UOUT = r[2];
  gData.IOUT = r[3];
  gData.POWER = static_cast<uint32_t>(MulDiv(static_cast<int32_t>(gData.UOUT),
                                             static_cast<int32_t>(gData.IOUT), CurrentDivider * 100));
  gData.UIN = r[5];
  gData.LOCK = r[6];
  gData.PROTECT = r[7];
  gData.CVCC = r[8];
  gData.ONOFF = r[9];
  // 4., 5.
  KeyLockPanel->setVisible(gData.LOCK != 0);
  UoutInd->UpdateDigits();
  IoutInd->UpdateDigits();
  PoutInd->UpdateDigits();
  ShowVin(gData.UIN);
  // 6. Output colour by regulation mode, checked against what the digits show: identification
  //    repaints them in the set colour, also when the output was already on at connect.
  if (gData.ONOFF > 0 && gData.CVCC <= 1) {
    fOutColor = gData.CVCC == 0 ? fCLR2 : fCLR3;
    const uint32_t shown = fPowerOn && fShadowColorOn ? DarkenColor(fOutColor) : fOutColor;
    if (fShownOutColor != shown) SetDisplayColors(fCLR1, shown);
  }
  // 7.
  CVLed->SetLedOn(gData.ONOFF > 0 && gData.CVCC == 0);
  CCLed->SetLedOn(gData.ONOFF > 0 && gData.CVCC == 1);
  ShowProtection(gData.PROTECT);
  // 8. The window follows the supply's output however it got where it is: switched off by a
  //    protection or its own key, or found on at connecting. Only while the program's own
  //    switch write is on its way does the supply's old state not count. An interrupted
  //    test's supply that still reports its output on is switched off again.
  if (!fOnOffWritePending) {
    const bool on = gData.ONOFF > 0;
    if (on && fSafeOffPending) {
      fPowerOn = false;
      fOnOffWritePending = true;
      fTaskMgr->WriteOnOff();
    } else if (on != fPowerOn) {
      ApplyOutputState(on);
    }
  }
  // 10. Keys unlocked at the supply: someone took over there.
  if (gData.LOCK == 0) ConnectionFailed();
  ShowModbusResult(AError);
}

void TMainForm::SetDataRead(int32_t AError, const TKRRegisters* AData) {
  if (AError == 0) {
    gData.USET = (*AData)[0];
    gData.ISET = (*AData)[1];
    ShowSetValues();
    fTaskMgr->Callback();
  }
  ShowModbusResult(AError);
}

void TMainForm::TemperatureRead(int32_t AError, const TKRRegisters* AData) {
  if (AError == 0) {
    gData.TMP = (*AData)[0];
    fParameters->Set_CF_RadioGroup();
    fTaskMgr->Callback();
  }
  ShowModbusResult(AError);
}

void TMainForm::DebugDataRead(int32_t AError, const TKRRegisters* AData) {
  if (AError != 0) return;
  gData.DEBUG_DATA = (*AData)[0];
  DebugLabel->setText(QString::number(gData.DEBUG_DATA));
  fTaskMgr->Callback();
}

void TMainForm::GlobalDataRead(int32_t AError, const TKRRegisters* AData) {
  if (AError == 0) {
    for (int i = 0; i < 15; ++i) StoreRegister(gData, Reg::MGIC + i, (*AData)[i]);
    DetectVersion(gData.MODEL, gData.VERSION);
    fTaskMgr->Callback();
  }
  ShowModbusResult(AError);
}

void TMainForm::MemNumRead(int32_t AError, const TKRRegisters* AData) {
  if (AError == 0) {
    gData.MEM = (*AData)[0] >= 20 ? 0 : (*AData)[0];
    fPresets->ShowActivePreset();
    fTaskMgr->Callback();
  }
  ShowModbusResult(AError);
}

void TMainForm::MemNumAndCountersRead(int32_t AError, const TKRRegisters* AData) {
  if (AError == 0) {
    const TKRRegisters& r = *AData;
    for (int i = 0; i < 7; ++i) StoreRegister(gData, Reg::TIME_L + i, r[i]);
    if (gData.MEM >= 20) gData.MEM = 0;
    fPresets->ShowActivePreset();
    fCounters.LoadTime(gData.TIME_H * 65536u + gData.TIME_L, Now());
    fCounters.LoadAH(gData.AHCNT_H * 65536u + gData.AHCNT_L);
    fCounters.LoadWH(gData.WHCNT_H * 65536u + gData.WHCNT_L);
    RefreshCounterReadouts();
    fTaskMgr->Callback();
  }
  ShowModbusResult(AError);
}

void TMainForm::MemoryRead(int32_t AError, const TKRRegisters* AData) {
  if (AError == 0) {
    for (int i = 0; i < Reg::kMemoryRegisters; ++i) MemoryField(gMemory, i) = (*AData)[i];
    fPresets->UpdateMemory();
    fTaskMgr->Callback();
  }
  ShowModbusResult(AError);
}

void TMainForm::CalibDataRead(int32_t AError, const TKRRegisters* AData) {
  if (AError == 0) {
    const TKRRegisters& r = *AData;
    TCalibRecord* records = &CalibData.Uin1;
    for (int k = 0; k < 7; ++k) {
      records[k].Value = r[4 * k] + r[4 * k + 1] * 65536u;
      records[k].RowADC = r[4 * k + 2];
      records[k].RowDAC = r[4 * k + 3];
    }
    if (AdvancedForm) AdvancedForm->CalibDataChanged();
    fTaskMgr->Callback();
  }
  ShowModbusResult(AError);
}

void TMainForm::WriteDone(int32_t AError) {
  ShowModbusResult(AError);
  if (AError == 0) fTaskMgr->Callback();
}

void TMainForm::MemNumWritten(int32_t AError) {
  ToolBar1->setEnabled(AError == 0);
  WriteDone(AError);
}

void TMainForm::OnOffWritten(int32_t AError) {
  fOnOffWritePending = false;
  ShowModbusResult(AError);
  if (AError != 0) return;
  fTaskMgr->Callback();
}

void TMainForm::OffWritten(int32_t AError) {
  fOnOffWritePending = false;
  if (AError == 0 && fSafeOffPending) SafeOffWritten(AError);
  WriteDone(AError);
}

// ---- The display timer ------------------------------------------------------------------------

void TMainForm::OscillTimerTimer() {
  CountersTick();
  fPresets->UpdateChargeProgress();
  if (fPowerOn && Logging)
    fLogList->LogByEvent(gData, LogUoutThreshold ? LogUoutThreshold() : kDefaultUoutThresholdIndex,
                         LogIoutThreshold ? LogIoutThreshold() : kDefaultIoutThresholdIndex);
  if (fModel.Temp && ++fTemperatureTimerCount >= kTemperatureTicks) {
    fTaskMgr->ReadTemperature();
    fTemperatureTimerCount = 0;
  }
  if (fModel.Counters && ++fCountersTimerCount >= kCountersTicks) {
    fTaskMgr->ReadMemNumAndCounters();
    fCountersTimerCount = 0;
  }
  const bool allCollapsed = ScopePanel->Collapsed() && ComPortPanel->Collapsed() &&
                            MemoryPanel->Collapsed() && ParametersPanel->Collapsed();
  if (!allCollapsed) {
    fAutoexpandCounter = 0;
  } else if (++fAutoexpandCounter >= kAutoexpandTicks) {
    fAutoexpandCounter = 0;
    QMetaObject::invokeMethod(this, Guarded([this] { WMAutoExpand(); }), Qt::QueuedConnection);
  }
  VinWarningTick();
  fOscilloscope->OscillTick(gData.UOUT, gData.IOUT);
}

void TMainForm::CountersTick() {
  if (!fPowerOn) return;
  const bool integrated = fCounters.Tick(Now(), gData.UOUT, gData.IOUT, CurrentDivider);
  TimeInd->UpdateTime();
  if (integrated) {
    AHInd->UpdateCounter();
    WHInd->UpdateCounter();
  }
}

void TMainForm::ResetCounters() { fCounters.Reset(Now()); }

void TMainForm::WMAutoExpand() {
  if (ScopePanel->Collapsed() && ComPortPanel->Collapsed() && MemoryPanel->Collapsed() &&
      ParametersPanel->Collapsed())
    ComPortPanel->SetCollapsed(false);
}

// Less than 1.00 V of headroom between input and set voltage: the VIN lamp blinks, 5 ticks on
// and 6 off, and the set voltage's unit gives way to it.
void TMainForm::VinWarningTick() {
  if (fVinErrorCount > 0) {
    --fVinErrorCount;
    VinErrorLed->SetLedOn(fVinErrorCount > 4);
    IndLabel1->setVisible(!VinErrorLed->LedOn());
  } else if (gData.USET + 100 > gData.UIN) {
    fVinErrorCount = 10;
  }
}
