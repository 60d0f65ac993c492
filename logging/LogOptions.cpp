#include "logging/LogOptions.h"

namespace {
QStringList ThresholdItems(const QString& quantity) {
  QStringList items;
  const QString prefix = QStringLiteral("Output %1 change ").arg(quantity);
  items << prefix + QStringLiteral("<1%");
  for (int percent = 1; percent <= 5; ++percent)
    items << prefix + QStringLiteral(">%1%").arg(percent);
  items << QStringLiteral("Output %1 no matter").arg(quantity);
  return items;
}
}  // namespace

QStringList LogIntervalItems() {
  QStringList items;
  for (const int32_t seconds : kLogIntervals) {
    if (seconds >= 60)
      items << QStringLiteral("Save every %1 min.").arg(seconds / 60);
    else
      items << QStringLiteral("Save every %1 sec.").arg(seconds);
  }
  return items;
}

QStringList UoutThresholdItems() { return ThresholdItems(QStringLiteral("voltage")); }

QStringList IoutThresholdItems() { return ThresholdItems(QStringLiteral("current")); }

int StoredLogIndex(int index, int itemCount, int defaultIndex) {
  return index >= 0 && index < itemCount ? index : defaultIndex;
}

int32_t GetLogInterval(int index) {
  return kLogIntervals[StoredLogIndex(index, static_cast<int>(kLogIntervals.size()),
                                      kDefaultLogIntervalIndex)];
}
