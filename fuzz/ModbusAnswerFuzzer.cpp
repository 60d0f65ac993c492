// An answer as it may come off the line, checked against a request of the same shape: the first
// bytes choose the framing, the function, the count and the transaction byte.
#include <cstddef>
#include <cstdint>

#include "modbus/KRModbus.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 4) return 0;
  TMBPack request;
  request.MBType = static_cast<TMBType>(data[0] % 3);
  request.MBFunc = data[1];
  request.Count = data[2];
  request.id = data[3];
  const bool checkId = data[0] & 0x80;
  // The connector never hands on more than its buffer holds.
  const size_t length = std::min<size_t>(size - 4, sizeof(TKRBuffer));
  TMBAnswer answer;
  const int32_t result =
      KRCheckAnswer(request, checkId, data + 4, static_cast<int32_t>(length), answer);
  if (result == 0) answer.Data();
  return 0;
}
