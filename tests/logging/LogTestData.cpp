#include "tests/logging/LogTestData.h"

#include "logging/DataLog.h"

void FillSampleLog(TDataLog& log) {
  QDateTime now(QDate(2026, 12, 8), QTime(15, 30, 45));
  log.SetClock([&now] { return now; });
  const auto take = [&](uint32_t uset, uint32_t iset, uint32_t uout, uint32_t iout,
                        uint32_t power) {
    TCurrentSet data{};
    data.USET = uset;
    data.ISET = iset;
    data.UOUT = uout;
    data.IOUT = iout;
    data.POWER = power;
    log.WriteLogData(data);
    now = now.addSecs(3);
  };
  take(1234, 150, 1233, 149, 1837);
  take(500, 2010, 498, 1999, 9955);
  take(5000, 1500, 4995, 1400, 699300);
  log.SetClock(&QDateTime::currentDateTime);
}
