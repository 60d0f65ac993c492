#include "sim/RtuFramer.h"

#include <limits>

#include "sim/Crc16.h"

namespace kpxsim {

void RtuFramer::Push(uint8_t byte, double arrivalMs) { bytes_.push_back({byte, arrivalMs}); }

size_t RtuFramer::DropArrivingAfter(double nowMs) {
  size_t dropped = 0;
  // Arrival times only grow along the line.
  for (; !bytes_.empty() && bytes_.back().At > nowMs; ++dropped) bytes_.pop_back();
  return dropped;
}

int RtuFramer::ExpectedLength() const {
  if (bytes_.size() < 2) return -1;
  switch (bytes_[1].Value) {
    case 1: case 2: case 3: case 4: case 5: case 6:
      return 8;
    case 7: case 11: case 12: case 17:
      return 4;
    case 15: case 16:
      return bytes_.size() < 7 ? -1 : 9 + bytes_[6].Value;
    default:
      return 0;
  }
}

std::vector<uint8_t> RtuFramer::Take(size_t count) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i < count; ++i) out.push_back(bytes_[i].Value);
  bytes_.erase(bytes_.begin(), bytes_.begin() + static_cast<std::ptrdiff_t>(count));
  return out;
}

std::optional<RtuFrame> RtuFramer::Next(double nowMs) {
  while (!bytes_.empty()) {
    // The bytes up to the first silence belong to one frame at most.
    size_t segment = 1;
    while (segment < bytes_.size() && bytes_[segment].At - bytes_[segment - 1].At <= silenceMs_)
      ++segment;
    const int expected = ExpectedLength();
    if (expected > 0 && static_cast<size_t>(expected) <= segment) {
      const double at = bytes_[expected - 1].At;
      if (at > nowMs) return std::nullopt;
      std::vector<uint8_t> frame = Take(expected);
      if (HasValidCrc(frame)) return RtuFrame{std::move(frame), at};
      continue;
    }
    const double lastAt = bytes_[segment - 1].At;
    const bool closed = segment < bytes_.size() || nowMs - lastAt > silenceMs_;
    if (!closed) return std::nullopt;
    std::vector<uint8_t> frame = Take(segment);
    if (expected <= 0 && HasValidCrc(frame)) return RtuFrame{std::move(frame), lastAt};
  }
  return std::nullopt;
}

double RtuFramer::NextCheckMs(double nowMs) const {
  if (bytes_.empty()) return std::numeric_limits<double>::infinity();
  for (const Byte& b : bytes_)
    if (b.At > nowMs) return b.At;
  return bytes_.back().At + silenceMs_ + 0.1;
}

}  // namespace kpxsim
