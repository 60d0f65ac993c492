#pragma once
// Waits that the window makes on purpose (a pause before reconnecting, draining the queue on
// disconnect, a blocking connect) keep the window painted but take no user input. While such a
// wait runs, GuiWaitActive() is true, so that work the wait must hold back is deferred.

#include <cstdint>
#include <functional>

// Waits until done() is true or timeoutMs have passed; returns done()'s last value.
bool WaitPainted(uint32_t timeoutMs, const std::function<bool()>& done = {});

bool GuiWaitActive();

// Lets the window repaint and deliver what is already queued, without taking user input.
void PaintPending();
