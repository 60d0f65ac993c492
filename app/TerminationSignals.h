#pragma once
// SIGTERM, SIGINT and SIGHUP (a logout, a service manager, Ctrl+C in the terminal) close the
// program the way its close button does, so settings and tables are stored and the port is
// released, instead of the process simply vanishing.

#include <functional>

// Installs the handlers; close runs on the GUI thread, once per signal received.
void CloseOnTerminationSignals(std::function<void()> close);
