#pragma once
// Why a serial port did not open: the port layer only says that it failed, a person needs to
// know whether the device is missing, held by another program, forbidden or no serial port.

#include <QString>

enum class TPortProblem { None, Missing, Busy, Permission, NotSerial, Other };

// Looks at aPath the way the port layer opens it, without changing its line settings.
TPortProblem DiagnosePort(const QString& aPath);
