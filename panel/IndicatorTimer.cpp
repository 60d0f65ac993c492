#include "panel/IndicatorTimer.h"

TQtIndicatorTimer::TQtIndicatorTimer() {
  fTimer.setSingleShot(true);
  QObject::connect(&fTimer, &QTimer::timeout, [this] {
    if (OnTimer) OnTimer();
  });
}
