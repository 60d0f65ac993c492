#pragma once
#include <QString>
#include <cstdint>

// The protection label for a PROTECT code: "Error" for 0 (lamp off), "OVP" … "EPR" for 1 to 11,
// "E" and the code above that.
QString ProtectionText(uint32_t code);
