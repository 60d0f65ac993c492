#pragma once
// The step table of an automatic test: up to 17 steps of set voltage, current limit and
// duration, and its byte form (16 bytes per step, little-endian) as kept between runs.

#include <QByteArray>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

struct TTestStep {
  uint32_t Uset = 0;  // 10 mV
  uint32_t Iset = 0;  // model current unit
  uint32_t Time = 0;  // seconds
  bool Enabled = false;
};

inline constexpr int kMaxTestSteps = 17;
inline constexpr int kTestStepBytes = 16;
inline constexpr uint32_t kMaxStepTime = 3599;  // 59:59
// 5.00 V, 2.00 A (0.200 A on 1 mA models), 1:00, enabled.
inline constexpr TTestStep kDefaultTestStep{500, 200, 60, true};

class TTestSteps {
 public:
  // One default step.
  TTestSteps();

  int Count() const { return fCount; }
  TTestStep& operator[](int index) { return fDataArray[static_cast<size_t>(index)]; }
  const TTestStep& operator[](int index) const { return fDataArray[static_cast<size_t>(index)]; }

  // Appends a copy of the last step; false when the table is full.
  bool Add();
  // Drops the last step; false when it is the only one.
  bool DeleteLast();

  QByteArray ToBytes() const;
  // Takes the whole steps of bytes, at most 17; false (table unchanged) when bytes hold none.
  // Each field is held to what its entry field can show: the set values to the family's widest
  // model (the knobs narrow them to the connected model), the duration to 0:01 .. 59:59.
  bool FromBytes(const QByteArray& bytes);
  // Brings the table to a model: currents from the units of one current divider to another's
  // (10: 1 mA, 1: 10 mA), then set values held to the model's maxima. Returns the numbers
  // (1 = the first step) of the steps that had to be held.
  std::vector<int> FitToModel(int fromDivider, int toDivider, uint32_t maxU, uint32_t maxI);

 private:
  std::array<TTestStep, kMaxTestSteps> fDataArray{};
  int fCount = 1;
};

// Grid texts of a step: set voltage, current limit, set power (watts, two decimals) and
// duration as minutes:seconds. currentDivider 10 means 1 mA current units.
QStringList StepTexts(const TTestStep& step, int currentDivider);
