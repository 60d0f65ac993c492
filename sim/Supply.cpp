#include "sim/Supply.h"

#include <algorithm>
#include <cmath>

#include "core/RegisterMap.h"

namespace kpxsim {

namespace {
constexpr double kAmbient = 25.0;
constexpr double kKelvinPerWatt = 0.2;      // steady heat-sink rise
constexpr double kThermalSeconds = 20.0;    // heat-sink time constant
constexpr double kInputOhms = 0.05;         // input sag per ampere drawn
constexpr uint16_t kMemoryVoltages[10] = {500, 330, 1200, 1500, 2400, 900, 1800, 2000, 2500, 3000};

uint16_t PresetStart(uint16_t m) { return Reg::kMemoryBase + Reg::kMemoryBlockSize * m; }
}  // namespace

Supply::Supply(const SupplyConfig& config)
    : id_(config.Id),
      rating_(RatingOf(config.Id.Model)),
      class_(ClassOf(config.Id)),
      loadOhms_(config.LoadOhms),
      vin_(config.VinVolts.value_or(rating_.Umax / 100.0 + 5.0)) {
  const uint16_t oneAmp = rating_.CurrentDivider == 10 ? 1000 : 100;
  for (uint16_t m = 0; m < Reg::kPresetCount; ++m) {
    uint16_t* block = &regs_[PresetStart(m)];
    // M presets hold common bench voltages; C preset k charges k + 1 lithium cells at 4.20 V.
    const uint16_t volts = m < 10 ? kMemoryVoltages[m] : static_cast<uint16_t>(420 * (m - 9));
    block[0] = std::min(volts, rating_.Umax);
    block[1] = static_cast<uint16_t>(m < 10 ? std::min(oneAmp, rating_.Imax) : oneAmp / 2);
    block[2] = rating_.Umax;
    block[3] = static_cast<uint16_t>(rating_.Imax + 10 * rating_.CurrentDivider);
    block[4] = rating_.Pmax;
    block[5] = 3;
  }
  regs_[Reg::BLED] = 3;
  regs_[Reg::MMAX] = 10;
  regs_[Reg::OHP] = 80;
  regs_[Reg::MINS] = 300;
  regs_[Reg::MAXS] = 420;
  regs_[Reg::CLR1] = 0xFFFF;
  regs_[Reg::CLR2] = 0x07E0;
  regs_[Reg::CLR3] = 0xFFE0;
  regs_[Reg::PVER] = id_.Pver;
  LoadPreset(0);
  WriteIdentity();
  WriteCalibration();
  Advance(0);
}

bool Supply::InMap(uint32_t start, uint32_t count) {
  const uint32_t end = start + count;
  if (count == 0) return false;
  if (end <= 48) return true;
  return start >= Reg::kMemoryBase && end <= kRegisterCount;
}

void Supply::WriteIdentity() {
  regs_[Reg::MODEL] = id_.Model;
  regs_[Reg::VERSION] = id_.Version;
  regs_[Reg::STATE] = id_.State;
  regs_[Reg::MGIC] = id_.Mgic;
  regs_[Reg::DVID] = id_.Dvid;
  // Layout B firmware reports its parameter layout there; layout A keeps a flag register.
  if (UsesLayoutB(class_)) regs_[Reg::PVER] = id_.Pver;
}

void Supply::WriteCalibration() {
  const auto block = calibration_.Block();
  std::copy(block.begin(), block.end(), regs_.begin() + Reg::kCalibBase);
}

void Supply::LoadPreset(uint16_t mem) {
  const uint16_t m = Reg::NormalisedPreset(mem);
  regs_[Reg::MEM] = m;
  regs_[Reg::USET] = regs_[PresetStart(m)];
  regs_[Reg::ISET] = regs_[PresetStart(m) + 1];
}

bool Supply::ResetCountersAtSwitchOn() const {
  if (class_ == FirmwareClass::Ver18) return false;
  if (UsesLayoutB(class_)) return regs_[Reg::PARAM] & Reg::kParamResetCounters;
  return regs_[Reg::PVER] & 1;
}

void Supply::ResetCounters() { timeCounter_ = ahCounter_ = whCounter_ = 0; }

void Supply::SwitchOn() {
  if (heldTrip_) {
    regs_[Reg::ONOFF] = 0;
    return;
  }
  on_ = true;
  protect_ = 0;
  onSeconds_ = 0;
  if (ResetCountersAtSwitchOn()) ResetCounters();
}

void Supply::Written(uint16_t start, uint16_t count) {
  const auto touches = [&](uint16_t reg) { return reg >= start && reg < start + count; };
  // The supply cannot be set beyond its rating.
  if (touches(Reg::USET)) regs_[Reg::USET] = std::min(regs_[Reg::USET], rating_.Umax);
  if (touches(Reg::ISET)) regs_[Reg::ISET] = std::min(regs_[Reg::ISET], rating_.Imax);
  if (touches(Reg::MMAX))
    regs_[Reg::MMAX] = std::clamp<uint16_t>(regs_[Reg::MMAX], 1, static_cast<uint16_t>(Reg::kPresetCount));
  if (touches(Reg::ONOFF)) {
    if (regs_[Reg::ONOFF] == 0)
      on_ = false;
    else if (!on_)
      SwitchOn();
  }
  if (touches(Reg::MEM)) LoadPreset(regs_[Reg::MEM]);
  if (touches(Reg::CLB_CMD))
    calibration_.Command(regs_[Reg::CLB_CMD] & 0x7F, regs_[Reg::CLB_IDX],
                         regs_[Reg::CLB_DATA_L] | uint32_t{regs_[Reg::CLB_DATA_H]} << 16);
  if (lockHeld_) regs_[Reg::LOCK] = 0;
  // CMD is write-only: 2 after a preset save needs nothing more, since the blocks keep what
  // was written.
  regs_[Reg::CMD] = 0;
  WriteIdentity();
  WriteCalibration();
  Advance(lastMs_);
}

void Supply::Restart() {
  on_ = false;
  protect_ = 0;
  regs_[Reg::LOCK] = 0;
  LoadPreset(regs_[Reg::MEM]);
  Advance(lastMs_);
}

void Supply::Unlock() { regs_[Reg::LOCK] = 0; }

void Supply::HoldUnlocked(bool held) {
  lockHeld_ = held;
  if (held) Unlock();
}

void Supply::Trip(uint16_t code) {
  on_ = false;
  regs_[Reg::ONOFF] = 0;
  protect_ = code;
  regs_[Reg::PROTECT] = code;
}

void Supply::HoldTrip(std::optional<uint16_t> code) {
  heldTrip_ = code;
  if (code) Trip(*code);
}

void Supply::CheckProtections(double volts, double amps) {
  const uint16_t* preset = &regs_[PresetStart(regs_[Reg::MEM])];
  const double unit = AmpsPerUnit(rating_);
  // A limit of 0 is switched off.
  if (preset[2] && volts * 100.0 > preset[2] + 0.5)
    Trip(1);
  else if (preset[3] && amps / unit > preset[3] + 0.5)
    Trip(2);
  else if (preset[4] && volts * amps * 10.0 > preset[4] + 0.5)
    Trip(3);
  else if (preset[8] && onSeconds_ >= preset[8] * 60.0)
    Trip(4);
  else if (rating_.TempSensor && regs_[Reg::OHP] && temperature_ >= regs_[Reg::OHP])
    Trip(5);
}

void Supply::Put32(uint16_t low, uint32_t value) {
  regs_[low] = static_cast<uint16_t>(value & 0xFFFF);
  regs_[low + 1] = static_cast<uint16_t>(value >> 16);
}

void Supply::Advance(double nowMs) {
  const double dt = std::max(0.0, (nowMs - lastMs_) / 1000.0);
  lastMs_ = std::max(lastMs_, nowMs);
  const double unit = AmpsPerUnit(rating_);

  double volts = 0, amps = 0;
  bool constantCurrent = false;
  if (on_) {
    const double vset = regs_[Reg::USET] / 100.0;
    const double iset = regs_[Reg::ISET] * unit;
    constantCurrent = loadOhms_ <= 0 || vset / loadOhms_ > iset;
    amps = constantCurrent ? iset : vset / loadOhms_;
    volts = constantCurrent ? iset * std::max(loadOhms_, 0.0) : vset;
    const double uin = vin_ - kInputOhms * amps;
    if (volts > uin) {
      volts = std::max(uin, 0.0);
      amps = loadOhms_ > 0 ? volts / loadOhms_ : amps;
    }
    onSeconds_ += dt;
    if (HasCounters(class_)) {
      timeCounter_ += dt;
      ahCounter_ += amps * dt / 36.0;
      whCounter_ += volts * amps * dt / 36.0;
    }
  }
  if (rating_.TempSensor) {
    const double target = kAmbient + kKelvinPerWatt * volts * amps;
    temperature_ += (target - temperature_) * (1.0 - std::exp(-dt / kThermalSeconds));
  }
  if (on_) CheckProtections(volts, amps);
  if (!on_) volts = amps = 0, constantCurrent = false;

  const auto uout = static_cast<uint16_t>(std::lround(volts * 100.0));
  const auto iout = static_cast<uint16_t>(std::lround(amps / unit));
  regs_[Reg::UOUT] = uout;
  regs_[Reg::IOUT] = iout;
  regs_[Reg::POWER] = static_cast<uint16_t>(
      std::min<uint64_t>(0xFFFF, (uint64_t{uout} * iout + rating_.CurrentDivider * 50) /
                                     (rating_.CurrentDivider * 100u)));
  regs_[Reg::UIN] = static_cast<uint16_t>(std::lround(std::max(0.0, vin_ - kInputOhms * amps) * 100));
  regs_[Reg::PROTECT] = protect_;
  regs_[Reg::CVCC] = constantCurrent ? 1 : 0;
  regs_[Reg::ONOFF] = on_ ? 1 : 0;
  regs_[Reg::TMP] = static_cast<uint16_t>(std::lround(rating_.TempSensor ? temperature_ : kAmbient));
  Put32(Reg::TIME_L, static_cast<uint32_t>(timeCounter_));
  Put32(Reg::AHCNT_L, static_cast<uint32_t>(ahCounter_));
  Put32(Reg::WHCNT_L, static_cast<uint32_t>(whCounter_));
}

}  // namespace kpxsim
