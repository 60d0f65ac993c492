#pragma once
// The commands of kelvora-cli. Each runs over an open link and returns the exit status.

#include "cli/CliOptions.h"
#include "cli/SyncMaster.h"

struct TCliContext {
  const TCliOptions& Options;
  TSyncMaster& Master;
};

int RunStatus(TCliContext& aContext);
int RunSet(TCliContext& aContext);
int RunOnOff(TCliContext& aContext);  // output and lock
int RunPreset(TCliContext& aContext);
int RunWatch(TCliContext& aContext);
int RunRead(TCliContext& aContext);
int RunWrite(TCliContext& aContext);
int RunFlash(TCliContext& aContext);
int RunServe(TCliContext& aContext);
