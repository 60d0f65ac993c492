#pragma once
// The supply as the servers of kelvora-cli serve (SCPI, MQTT) drive it: each operation is the
// program's own exchange, and a failed one throws TSupplyFailure with its cause. A lost link
// makes the next operation identify the supply again.

#include "cli/SupplyIdentity.h"
#include "cli/SyncMaster.h"

#include <QString>

#include <cstdint>

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
  bool Output();
  void WriteOutput(bool aOn);
  void WriteKeyLock(bool aLocked);
  uint32_t Protection();  // PROTECT, read now

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
  // Last known PROTECT, without an exchange (for *STB?).
  uint32_t KnownProtection() const { return fSupply.Data.PROTECT; }
  // True when the supply answers a read.
  bool Answers();

 private:
  TKRRegisters Read(uint16_t aStart, uint16_t aCount);
  void Check(const TCallResult& aResult);
  uint16_t ActivePresetStart();

  TSyncMaster& fMaster;
  TSupply fSupply;
  bool fIdentified = false;
  std::optional<TSupplyReading> fLast;
};
