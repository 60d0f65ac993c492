#pragma once
// SIGINT and SIGTERM end a long command between two exchanges, so that it leaves the link
// closed in order and exits with success: stopping a watch is its normal end.

#include <functional>

// Catches the two signals from now on; call once the application object exists.
void InstallStopRequest();
bool StopRequested();
// Ends the long command as the signals do, from within the program.
void RequestStop();
// Called from the event loop, also from a wait inside an exchange, after each signal with the
// number of signals so far: a server stops reading at the first and gives up waiting at the
// second.
void SetOnStopSignal(std::function<void(int aSignals)> aHandler);
// Waits aMs in the event loop, returning early when a stop is requested.
void PauseUnlessStopped(int aMs);
