#pragma once
// Named user settings under organisation "ardentix", application "KPX" (on Windows the registry
// key HKCU\Software\ardentix\KPX), with the per-port baud rates in the subgroup BAUDES.
// Every call opens the store, does one read or write and closes it: nothing is cached, so two
// windows never disagree about a value.

#include <QString>

#include <cstdint>
#include <optional>

bool RegValueExists(const QString& name);
int32_t RegReadInteger(const QString& name);  // 0 when absent or not a number
// The stored number; nothing when the value is absent or not a number, so that its default holds.
std::optional<int32_t> RegReadNumber(const QString& name);
void RegWriteInteger(const QString& name, int32_t value);
QString RegReadString(const QString& name);  // empty when absent
void RegWriteString(const QString& name, const QString& value);
int32_t RegReadPortBaud(const QString& port);  // -1 when absent
void RegWritePortBaud(const QString& port, int32_t value);

// A stored list index is applied only when it lies inside the list; otherwise the default.
int32_t RegReadListIndex(const QString& name, int32_t count, int32_t defaultIndex);
