#pragma once
// The supply as the servers of kelvora-cli serve (SCPI, MQTT) drive it: each operation is the
// program's own exchange, and a failed one throws TSupplyFailure with its cause. A lost link
// makes the next operation identify the supply again. Once a stop is requested no exchange
// begins: each throws instead.

#include "cli/SupplyIdentity.h"
#include "cli/SyncMaster.h"

#include <QString>

#include <cstdint>
#include <functional>

struct TSupplyFailure {
  QString Why;
};

struct TSupplyReading {
  uint32_t Voltage = 0, Current = 0, Power = 0;  // 10 mV, current units, 0.01 W
};

struct TProtectionLimits {
  uint32_t Voltage = 0, Current = 0;  // SOVP and SOCP of the active preset
};

class TServedSupply {
 public:
  explicit TServedSupply(TSyncMaster& aMaster) : fMaster(aMaster) {}

  // Identifies the supply; the reason when it does not answer or its model is not in the table.
  bool Identify(QString& aError);
  // Identifies the supply again if the link was lost since.
  const TSupply& Identified();

  uint32_t SetVoltage();  // USET, read now
  uint32_t SetCurrent();  // ISET, read now
  // Writes the set point as the program does: both values, the other one as it stands.
  void WriteSetPoint(std::optional<uint32_t> aVoltage, std::optional<uint32_t> aCurrent);
  bool Output();  // ONOFF alone
  void WriteOutput(bool aOn);
  void WriteKeyLock(bool aLocked);
  // PROTECT, CVCC and ONOFF in one read; the supply as Known() then has them.
  const TCurrentSet& ReadStatus();
  // The active preset becomes aPreset (0 to 9: M0 to M9), as the window's preset buttons do.
  void RecallPreset(uint16_t aPreset);
  // The set voltage and current as they stand go into preset aPreset's block; its limits stay.
  void SavePreset(uint16_t aPreset);

  // The output's voltage alone, its current alone, or both (for the power).
  uint32_t MeasureVoltage();
  uint32_t MeasureCurrent();
  uint32_t MeasurePower();
  // Registers 0 to 9 in one read.
  TSupplyReading Measure();
  // Registers 0 to 9, and the temperature where the model shows one.
  const TCurrentSet& ReadState();
  // The last measurement, or a new one when there is none yet.
  TSupplyReading LastReading();

  TProtectionLimits ProtectionLimits();
  // Writes the active preset's block with new limits, and the save command where the firmware
  // takes one.
  void WriteProtectionLimits(std::optional<uint32_t> aVoltage, std::optional<uint32_t> aCurrent);

  // The supply as last identified, without an exchange.
  const TSupply& Known() const { return fSupply; }
  // True when the supply answers a read.
  bool Answers();
  // Called after every read that brought PROTECT, CVCC or ONOFF, with the supply as it then is.
  void SetOnStatusRead(std::function<void(const TCurrentSet&)> aHandler) {
    fOnStatusRead = std::move(aHandler);
  }
  // The keys were free when serve began and may have been locked from here since: a stop must
  // give the front panel back. Keys locked before serve began are left locked.
  bool UnlockDue() const { return fLockWritten && !fLockedAtStart; }

 private:
  TKRRegisters Read(uint16_t aStart, uint16_t aCount);
  void Check(const TCallResult& aResult);
  // Throws when a stop was requested: after the signal nothing more goes to the supply.
  void BeforeExchange() const;
  uint16_t ActivePresetStart();
  // A preset block, and the save command where the firmware takes one.
  void WriteBlock(uint16_t aStart, const TKRRegisters& aBlock);

  TSyncMaster& fMaster;
  TSupply fSupply;
  bool fIdentified = false;
  std::optional<TSupplyReading> fLast;
  std::function<void(const TCurrentSet&)> fOnStatusRead;
  bool fLockedAtStart = false;
  bool fLockKnown = false;  // fLockedAtStart was read
  bool fLockWritten = false;
};
