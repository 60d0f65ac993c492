#pragma once
// The choices of the "Test Logging" options: the interval list for logging by time and the two
// change-threshold lists for logging by event, with their defaults.

#include <QStringList>

#include <array>
#include <cstdint>

// Seconds between entries when logging by time, by item index of the interval list.
inline constexpr std::array<int32_t, 14> kLogIntervals{1,  2,   3,   4,   5,    10,  20,
                                                       30, 60, 120, 300, 600, 1200, 1800};

inline constexpr int kDefaultLogIntervalIndex = 2;    // every 3 seconds
inline constexpr int kDefaultUoutThresholdIndex = 1;  // output voltage change >1%
inline constexpr int kDefaultIoutThresholdIndex = 2;  // output current change >2%
// Threshold index k: 0 any change, 1..5 more than k percent, 6 never.
inline constexpr int kThresholdItemCount = 7;
inline constexpr int kThresholdNever = 6;

// "Save every 3 sec.", ..., "Save every 1 min.", ..., one per entry of kLogIntervals.
QStringList LogIntervalItems();
// "Output voltage change <1%" .. "Output voltage no matter".
QStringList UoutThresholdItems();
// "Output current change <1%" .. "Output current no matter".
QStringList IoutThresholdItems();

// A stored or selected item index when it names an item of a list of itemCount items, otherwise
// the list's default (no selection is -1; a stored value may come from elsewhere).
int StoredLogIndex(int index, int itemCount, int defaultIndex);

// Interval in seconds of the interval list's item index; no selection or an index outside the
// list gives the default interval.
int32_t GetLogInterval(int index);
