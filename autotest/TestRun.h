#pragma once
// The order in which a run goes through the step table: disabled steps are passed over without
// spending their time, and each enabled step lasts its Time in one-second ticks.

#include <cstdint>

class TTestSteps;

class TTestRun {
 public:
  // What follows when a step's time is up.
  struct TNext {
    enum class TKind { Apply, Wait, Finished } Kind;
    int Step = -1;  // the step to apply
  };

  // Starts at the first enabled step; -1 when every step is disabled.
  int Start(const TTestSteps& steps);
  // The step is being applied: its time starts.
  void Begin(const TTestSteps& steps, int step);
  // One second passed; true when the running step's time is up.
  bool SecondPassed();
  // After a step's time: the next enabled step, or Wait when only disabled steps remain (the
  // next tick then finishes), or Finished after the last step.
  TNext NextStep(const TTestSteps& steps);

  int32_t TestStep() const { return fTestStep; }
  int32_t TestTime() const { return fTestTime; }

 private:
  // Moves fTestStep past disabled steps, stopping at the last step.
  void SkipDisabled(const TTestSteps& steps);

  int32_t fTestStep = 0;
  int32_t fTestTime = 0;
};
