// The stored step table is read back from a file that may be cut short or changed: every step
// that loads is shown in the grid, and a table that loads saves to bytes that load the same.
#include <QByteArray>

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "autotest/TestSteps.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  TTestSteps steps;
  if (!steps.FromBytes(QByteArray(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size))))
    return 0;
  for (int i = 0; i < steps.Count(); ++i) {
    StepTexts(steps[i], 10);
    StepTexts(steps[i], 1);
  }
  const QByteArray saved = steps.ToBytes();
  TTestSteps again;
  if (!again.FromBytes(saved) || again.ToBytes() != saved) std::abort();
  return 0;
}
