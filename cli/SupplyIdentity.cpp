#include "cli/SupplyIdentity.h"

#include "core/ModelIdentity.h"
#include "core/RegisterMap.h"

void StoreAnswer(TCurrentSet& aData, uint16_t aStart, const TKRRegisters& aRegisters) {
  for (size_t i = 0; i < aRegisters.size(); ++i)
    StoreRegister(aData, aStart + static_cast<int>(i), aRegisters[i]);
}

TCallResult IdentifySupply(TSyncMaster& aMaster, TSupply& aSupply) {
  const TRequestSpec& connect = RequestSpec(TRequestKind::ConnectRead);
  TCallResult r = aMaster.Read(connect.Start, connect.Count);
  if (!r.Ok()) return r;
  aSupply = TSupply{};
  StoreAnswer(aSupply.Data, connect.Start, r.Registers);
  const TCurrentSet& d = aSupply.Data;
  // A model outside the table must not be driven with the scaling of one met before.
  ResetModelVariables();
  SetupModelLimits(d.MODEL, aSupply.Model, false);
  aSupply.KnownModel = IsKnownModel(d.MODEL);
  aSupply.Caption = ModelCaption(d.MODEL, d.VERSION, d.STATE);
  if (!HasGlobalBlock(d.VERSION)) return r;
  const TRequestSpec& global = RequestSpec(TRequestKind::ReadGlobalData);
  r = aMaster.Read(global.Start, global.Count);
  if (!r.Ok()) return r;
  StoreAnswer(aSupply.Data, global.Start, r.Registers);
  DetectFirmwareFeatures(aSupply.Data, aSupply.Model);
  return r;
}
