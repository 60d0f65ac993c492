#pragma once
// Types shared by the whole communications library: frame buffers, register and byte arrays,
// the request callbacks and the millisecond tick counter.

#include <QString>

#include <array>
#include <cstdint>
#include <exception>
#include <functional>
#include <vector>

enum TMBType : uint8_t { mbtRTU = 0, mbtTCP = 1, mbtASCII = 2 };

// Every frame travels in one of these; the same buffer carries the request out and the answer back.
using TKRBuffer = std::array<uint8_t, 1024>;
using PKRBuffer = TKRBuffer*;

using TKRRegisters = std::vector<uint16_t>;
using TKRBytes = std::vector<uint8_t>;

// Outcome of one Modbus request: AError 0 and AData pointing at the decoded answer, or a code and
// null. The decoded data live only during the call.
using TMBMCallBack = std::function<void(int32_t AError, void* AData)>;

using TNotifyEvent = std::function<void(void* Sender)>;

// Exceptions caught inside the library are reported here, never rethrown.
using TKRRuntimeErrorEv =
    std::function<void(void* Sender, const QString& ADescription, const std::exception& AException)>;

// What a sender hangs on a queued exchange. It travels with the exchange and is released with it
// on every path (delivered, failed, refused, discarded); a transport failure is reported to it.
class TKRPackToken {
 public:
  virtual ~TKRPackToken() = default;
  virtual void TransportFailed(int32_t AError) = 0;
};

// Milliseconds of a monotonic clock; differences are taken unsigned so they survive wrap-around.
uint32_t KRGetTickCount();

// Unsigned age of a tick, in milliseconds.
inline uint32_t KRTicksSince(uint32_t aTick) { return KRGetTickCount() - aTick; }

// Called between short slices of a wait that blocks the GUI thread on purpose (the bounded TCP
// connect), so that the window can repaint meanwhile. The library knows nothing of windows: the
// program sets it; empty by default.
void KRSetBlockingWaitHook(std::function<void()> AHook);
const std::function<void()>& KRBlockingWaitHook();
