#include "cli/ServedSupply.h"

#include "cli/Readout.h"
#include "cli/StopRequest.h"
#include "core/ModelIdentity.h"
#include "core/RegisterMap.h"

namespace {
constexpr uint16_t kSovpOffset = 2, kSocpOffset = 3;

uint16_t Low(uint32_t aValue) { return static_cast<uint16_t>(aValue); }
}  // namespace

bool TServedSupply::Identify(QString& aError) {
  fIdentified = false;
  if (StopRequested()) {
    aError = "the server is stopping";
    return false;
  }
  const TCallResult r = IdentifySupply(fMaster, fSupply);
  if (!r.Ok()) {
    aError = "identification: " + r.Text();
    return false;
  }
  if (!fSupply.KnownModel) {
    aError = QString("model %1 is not in the model table: its limits are unknown")
                 .arg(fSupply.Data.MODEL);
    return false;
  }
  if (!fLockKnown) fLockedAtStart = fSupply.Data.LOCK != 0;
  fLockKnown = true;
  fIdentified = true;
  return true;
}

const TSupply& TServedSupply::Identified() {
  QString error;
  if (!fIdentified && !Identify(error)) throw TSupplyFailure{error};
  return fSupply;
}

void TServedSupply::BeforeExchange() const {
  if (StopRequested()) throw TSupplyFailure{"the server is stopping"};
}

void TServedSupply::Check(const TCallResult& aResult) {
  if (aResult.Ok()) return;
  // An exception answer leaves the link as it was; no answer means the supply may be another
  // one when it answers again.
  if (aResult.NoAnswer()) fIdentified = false;
  throw TSupplyFailure{aResult.Text()};
}

TKRRegisters TServedSupply::Read(uint16_t aStart, uint16_t aCount) {
  Identified();
  BeforeExchange();
  TCallResult r = fMaster.Read(aStart, aCount);
  Check(r);
  StoreAnswer(fSupply.Data, aStart, r.Registers);
  const bool status = aStart <= Reg::ONOFF && aStart + aCount > Reg::PROTECT;
  if (status && fOnStatusRead) fOnStatusRead(fSupply.Data);
  return r.Registers;
}

uint32_t TServedSupply::SetVoltage() { return Read(Reg::USET, 2)[0]; }
uint32_t TServedSupply::SetCurrent() { return Read(Reg::USET, 2)[1]; }

void TServedSupply::WriteSetPoint(std::optional<uint32_t> aVoltage,
                                std::optional<uint32_t> aCurrent) {
  const TKRRegisters now = Read(Reg::USET, 2);
  const TRequestSpec& write = RequestSpec(TRequestKind::WriteSetData);
  BeforeExchange();
  Check(fMaster.WriteMany(write.Start,
                          {Low(aVoltage.value_or(now[0])), Low(aCurrent.value_or(now[1]))},
                          TRepeat::Idempotent));
}

bool TServedSupply::Output() { return Read(Reg::ONOFF, 1)[0] != 0; }

void TServedSupply::WriteOutput(bool aOn) {
  Identified();
  BeforeExchange();
  Check(fMaster.WriteOne(RequestSpec(TRequestKind::WriteOnOff).Start, aOn ? 1 : 0, TRepeat::Idempotent));
}

void TServedSupply::WriteKeyLock(bool aLocked) {
  Identified();
  BeforeExchange();
  // Counted before the write: a lock whose answer was lost may still have been taken.
  if (aLocked) fLockWritten = true;
  Check(fMaster.WriteOne(Reg::LOCK, aLocked ? 1 : 0, TRepeat::Idempotent));
  if (!aLocked) fLockWritten = false;
}

const TCurrentSet& TServedSupply::ReadStatus() {
  Read(Reg::PROTECT, Reg::ONOFF - Reg::PROTECT + 1);
  return fSupply.Data;
}

void TServedSupply::RecallPreset(uint16_t aPreset) {
  Identified();
  BeforeExchange();
  Check(fMaster.WriteOne(RequestSpec(TRequestKind::WriteMemNum).Start, aPreset,
                         TRepeat::Idempotent));
}

void TServedSupply::SavePreset(uint16_t aPreset) {
  const TKRRegisters now = Read(Reg::USET, 2);
  const uint16_t start = Reg::MemoryBlockStart(aPreset);
  TKRRegisters block = Read(start, Reg::kMemoryRegisters);
  block[0] = now[0];
  block[1] = now[1];
  WriteBlock(start, block);
}

uint32_t TServedSupply::MeasureVoltage() { return Read(Reg::UOUT, 1)[0]; }
uint32_t TServedSupply::MeasureCurrent() { return Read(Reg::IOUT, 1)[0]; }
uint32_t TServedSupply::MeasurePower() {
  Read(Reg::UOUT, 2);
  return OutputPower(fSupply.Data);
}

TSupplyReading TServedSupply::Measure() {
  const TRequestSpec& data = RequestSpec(TRequestKind::ReadData);
  Read(data.Start, data.Count);
  const TCurrentSet& d = fSupply.Data;
  fLast = TSupplyReading{d.UOUT, d.IOUT, OutputPower(d)};
  return *fLast;
}

const TCurrentSet& TServedSupply::ReadState() {
  Measure();
  if (fSupply.Model.Temp) Read(Reg::TMP, 1);
  return fSupply.Data;
}

TSupplyReading TServedSupply::LastReading() { return fLast ? *fLast : Measure(); }

uint16_t TServedSupply::ActivePresetStart() {
  return Reg::MemoryBlockStart(Read(Reg::MEM, 1)[0]);
}

TProtectionLimits TServedSupply::ProtectionLimits() {
  const TKRRegisters block = Read(ActivePresetStart(), Reg::kMemoryRegisters);
  return {block[kSovpOffset], block[kSocpOffset]};
}

void TServedSupply::WriteProtectionLimits(std::optional<uint32_t> aVoltage,
                                        std::optional<uint32_t> aCurrent) {
  const uint16_t start = ActivePresetStart();
  TKRRegisters block = Read(start, Reg::kMemoryRegisters);
  if (aVoltage) block[kSovpOffset] = Low(*aVoltage);
  if (aCurrent) block[kSocpOffset] = Low(*aCurrent);
  WriteBlock(start, block);
}

void TServedSupply::WriteBlock(uint16_t aStart, const TKRRegisters& aBlock) {
  BeforeExchange();
  // Writing the same block again leaves it as once; the save command is sent once only.
  Check(fMaster.WriteMany(aStart, aBlock, TRepeat::Idempotent));
  // Layout B firmware takes the saved block in at the save command, as after a profile save.
  if (UsesLayoutB(fSupply.Model.Version)) {
    BeforeExchange();
    Check(fMaster.WriteOne(Reg::CMD, Reg::kCmdPresetSaved, TRepeat::Once));
  }
}

bool TServedSupply::Answers() {
  try {
    Read(Reg::USET, 1);
    return true;
  } catch (const TSupplyFailure&) {
    return false;
  }
}
