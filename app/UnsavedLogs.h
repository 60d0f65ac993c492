#pragma once
// The logs an earlier run recorded but never saved, offered at start-up (see LogRecovery.h).

// Asks about each of them now, over the main window, in the format chosen on the advanced
// window's logging tab.
void OfferUnsavedLogs();
// The same, once the main window is up and painted.
void OfferUnsavedLogsOnceShown();
