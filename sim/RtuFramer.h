#pragma once
// Cuts the bytes of an RTU line into frames. A frame's length follows from its function code;
// for other functions the frame ends at a silence on the line. Frames with a bad CRC are
// dropped, as a slave ignores them.

#include <cstdint>
#include <deque>
#include <optional>
#include <vector>

namespace kpxsim {

struct RtuFrame {
  std::vector<uint8_t> Bytes;
  double ArrivedMs;  // when its last byte arrived
};

class RtuFramer {
 public:
  explicit RtuFramer(double silenceMs) : silenceMs_(silenceMs) {}

  // A byte whose last bit arrives at arrivalMs (possibly later than now, on an emulated line).
  void Push(uint8_t byte, double arrivalMs);

  // The next complete frame whose last byte has arrived by nowMs.
  std::optional<RtuFrame> Next(double nowMs);

  // When Next may have something new; infinity when the line is empty.
  double NextCheckMs(double nowMs) const;

  void Clear() { bytes_.clear(); }
  // Drops the bytes still on their way at nowMs, as a cut line loses them; returns how many.
  size_t DropArrivingAfter(double nowMs);

 private:
  struct Byte {
    uint8_t Value;
    double At;
  };
  // 0: the function's frames have no fixed length; -1: too few bytes to tell.
  int ExpectedLength() const;
  std::vector<uint8_t> Take(size_t count);

  double silenceMs_;
  std::deque<Byte> bytes_;
};

}  // namespace kpxsim
