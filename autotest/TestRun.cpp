#include "autotest/TestRun.h"

#include "autotest/TestSteps.h"

void TTestRun::SkipDisabled(const TTestSteps& steps) {
  while (!steps[fTestStep].Enabled && fTestStep < steps.Count() - 1) ++fTestStep;
}

int TTestRun::Start(const TTestSteps& steps) {
  fTestStep = 0;
  SkipDisabled(steps);
  return steps[fTestStep].Enabled ? fTestStep : -1;
}

void TTestRun::Begin(const TTestSteps& steps, int step) {
  fTestStep = step;
  fTestTime = static_cast<int32_t>(steps[step].Time);
}

bool TTestRun::SecondPassed() { return --fTestTime <= 0; }

TTestRun::TNext TTestRun::NextStep(const TTestSteps& steps) {
  ++fTestStep;
  if (fTestStep >= steps.Count()) return {TNext::TKind::Finished};
  SkipDisabled(steps);
  if (!steps[fTestStep].Enabled) return {TNext::TKind::Wait};
  return {TNext::TKind::Apply, fTestStep};
}
