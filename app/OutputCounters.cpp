#include "app/OutputCounters.h"

void TOutputCounters::Reset(uint32_t now) {
  fTimePowerStart = now;
  fTimePrevious = fTime = 0;
  fAHCounter = fWHCounter = 0;
  fAHCounter64 = fWHCounter64 = 0;
}

void TOutputCounters::Continue(uint32_t now) {
  fTimePowerStart = now;
  fTimePrevious = fTime;
}

bool TOutputCounters::Tick(uint32_t now, uint32_t uout, uint32_t iout, int32_t currentDivider) {
  const uint32_t before = fTime;
  fTime = (now - fTimePowerStart) / 1000 + fTimePrevious;
  // A late tick that skips seconds counts them in the time only: the current of the skipped
  // seconds is not known.
  if (fTime - before != 1) return false;
  const uint64_t divider = static_cast<uint64_t>(currentDivider);
  fAHCounter64 += static_cast<int64_t>((static_cast<uint64_t>(iout) << 32) / (divider * 3600));
  const uint32_t power = uout * iout;  // taken modulo 2^32, as the counter always has
  fWHCounter64 +=
      static_cast<int64_t>((static_cast<uint64_t>(power) << 32) / (divider * 360000));
  fAHCounter = static_cast<uint32_t>(static_cast<uint64_t>(fAHCounter64) >> 32);
  fWHCounter = static_cast<uint32_t>(static_cast<uint64_t>(fWHCounter64) >> 32);
  return true;
}

void TOutputCounters::LoadTime(uint32_t seconds, uint32_t now) {
  if (seconds == 0) return;
  fTimePowerStart = now;
  fTimePrevious = fTime = seconds;
}

void TOutputCounters::LoadAH(uint32_t value) {
  if (value == 0) return;
  fAHCounter = value;
  fAHCounter64 = static_cast<int64_t>(static_cast<uint64_t>(value) << 32);
}

void TOutputCounters::LoadWH(uint32_t value) {
  if (value == 0) return;
  fWHCounter = value;
  fWHCounter64 = static_cast<int64_t>(static_cast<uint64_t>(value) << 32);
}
