#include "host/PointerDevices.h"

#include <QInputDevice>
#include <QPointingDevice>

bool SystemHasMouseWheel() {
  const auto devices = QInputDevice::devices();
  bool anyPointer = false;
  for (const QInputDevice* device : devices) {
    if (device->type() != QInputDevice::DeviceType::Mouse &&
        device->type() != QInputDevice::DeviceType::TouchPad)
      continue;
    anyPointer = true;
    if (device->hasCapability(QInputDevice::Capability::Scroll)) return true;
  }
  return !anyPointer;
}
