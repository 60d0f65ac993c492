// The serial port of the bootloader fuzzer: each write brings the next answer of the input (a
// length byte, then that many bytes); what was not read of the previous one is gone. Waiting
// for input when there is none ends the run, so that no time-out is ever sat out.
#include "fuzz/ScriptedSerialDevice.h"

#include <algorithm>
#include <cstring>

#include "modbus/platform/SerialDevice.h"

namespace {

struct TFeed {
  const uint8_t* Data = nullptr;
  size_t Size = 0;
  size_t Next = 0;     // the next answer's length byte
  size_t At = 0;       // the next byte to read
  size_t Pending = 0;  // bytes of the current answer not read yet
};
TFeed gFeed;

}  // namespace

void SetScriptedAnswers(const uint8_t* data, size_t size) { gFeed = TFeed{data, size}; }

TKRSerialOpenResult TKRSerialDevice::Open(const std::string&, const TKRSerialSettings&) {
  fFd = 0;
  return sorOk;
}

void TKRSerialDevice::Close() { fFd = -1; }

int32_t TKRSerialDevice::Write(const uint8_t*, int32_t ACount, uint32_t) {
  gFeed.Pending = 0;
  if (gFeed.Next < gFeed.Size) {
    gFeed.At = gFeed.Next + 1;
    gFeed.Pending = std::min<size_t>(gFeed.Data[gFeed.Next], gFeed.Size - gFeed.At);
    gFeed.Next = gFeed.At + gFeed.Pending;
  }
  return ACount;
}

int32_t TKRSerialDevice::Read(uint8_t* ABuffer, int32_t ACount) {
  const size_t n = std::min<size_t>(gFeed.Pending, ACount > 0 ? static_cast<size_t>(ACount) : 0);
  if (n) std::memcpy(ABuffer, gFeed.Data + gFeed.At, n);
  gFeed.At += n;
  gFeed.Pending -= n;
  return static_cast<int32_t>(n);
}

int32_t TKRSerialDevice::InputCount() { return static_cast<int32_t>(gFeed.Pending); }

TKRSerialWait TKRSerialDevice::WaitForInput(uint32_t) {
  if (gFeed.Pending == 0) throw TNoMoreAnswers{};
  return swReadable;
}

void TKRSerialDevice::DiscardInput() { gFeed.Pending = 0; }
