#pragma once
// SIGINT and SIGTERM end a long command between two exchanges, so that it leaves the link
// closed in order and exits with success: stopping a watch is its normal end.

// Catches the two signals from now on; call once the application object exists.
void InstallStopRequest();
bool StopRequested();
// Ends the long command as the signals do, from within the program.
void RequestStop();
// Waits aMs in the event loop, returning early when a stop is requested.
void PauseUnlessStopped(int aMs);
