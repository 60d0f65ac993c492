#pragma once
// The serial port changes hands around a firmware update: the Modbus connector closes it, the
// bootloader client gets it at 38400 baud with even parity, and it goes back closed, at 9600
// baud without parity, for the next Modbus connection.

#include "modbus/KRCOMPort.h"

#include <cstdint>

inline constexpr int32_t kBootBaud = 38400, kBootParity = 2;      // even
inline constexpr int32_t kModbusBaud = 9600, kModbusParity = 0;  // none

// Reopens a port its connector has closed with the bootloader's line settings; true when open.
bool OpenForBootloader(TKRCOMPort& aPort);

// Closes the port and leaves it set up for Modbus again.
void GiveBackToModbus(TKRCOMPort& aPort);
