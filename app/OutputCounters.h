#pragma once
// On-time, ampere-hour and watt-hour counting while the output is on. The counters integrate
// once per whole second of on-time in 32.32 fixed point, so fractions of 0.01 Ah are not lost.

#include <cstdint>

struct TOutputCounters {
  uint32_t fTime = 0;           // on-time, seconds
  uint32_t fTimePrevious = 0;   // on-time before the current output-on period
  uint32_t fTimePowerStart = 0; // tick (ms) at which the current period started
  uint32_t fAHCounter = 0;      // 0.01 Ah
  uint32_t fWHCounter = 0;      // 0.01 Wh
  int64_t fAHCounter64 = 0;
  int64_t fWHCounter64 = 0;

  void Reset(uint32_t now);
  // A new output-on period continues from the counters' present values.
  void Continue(uint32_t now);
  // One display tick while the output is on; true when a whole second passed and the energy
  // counters were integrated with the output current and voltage of that moment.
  bool Tick(uint32_t now, uint32_t uout, uint32_t iout, int32_t currentDivider);
  // Counters read back from the supply; a zero value keeps the program's own count.
  void LoadTime(uint32_t seconds, uint32_t now);
  void LoadAH(uint32_t value);
  void LoadWH(uint32_t value);
};
