#pragma once
// Which supply answers, found out as the program does on connecting: the connect read fixes the
// model's limits and current scaling, and the global block, where the firmware has one, the
// firmware class and its features.

#include "core/UtilUnit.h"
#include "cli/SyncMaster.h"

#include <QString>

struct TSupply {
  TCurrentSet Data{};
  TModel Model{};
  bool KnownModel = false;
  QString Caption;  // "KPX5005 ver. 4.3GT"
};

// Reads registers 0..14 and the global block, and sets the model variables of UtilUnit.
TCallResult IdentifySupply(TSyncMaster& aMaster, TSupply& aSupply);

// Stores the registers of an answer from register aStart on into the mirror.
void StoreAnswer(TCurrentSet& aData, uint16_t aStart, const TKRRegisters& aRegisters);
