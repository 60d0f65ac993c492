#include "flasher/BootPort.h"

bool OpenForBootloader(TKRCOMPort& aPort) {
  aPort.SetBaudRate(kBootBaud);
  aPort.SetParity(kBootParity);
  aPort.Open();
  return aPort.Connected();
}

void GiveBackToModbus(TKRCOMPort& aPort) {
  aPort.Close();
  aPort.SetBaudRate(kModbusBaud);
  aPort.SetParity(kModbusParity);
}
