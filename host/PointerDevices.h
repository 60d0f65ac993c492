#pragma once

// True when the system reports a pointing device with a scroll wheel. When it reports no
// pointing devices at all, a wheel mouse is assumed, as on nearly every desktop.
bool SystemHasMouseWheel();
