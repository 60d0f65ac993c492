#pragma once
// Bytes waiting to leave on a line: each answer leaves at its due time, and on an emulated line
// no faster than one byte per byte time.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <vector>

namespace kpxsim {

class PacedOutput {
 public:
  explicit PacedOutput(double byteMs = 0) : byteMs_(byteMs) {}

  void SetByteTime(double byteMs) { byteMs_ = byteMs; }
  void Enqueue(std::vector<uint8_t> bytes, double dueMs);

  // Writes what may leave by nowMs; false when the descriptor refused the bytes for good.
  bool Flush(int fd, double nowMs);

  // When the next byte may leave; infinity when nothing waits.
  double NextDueMs() const;

  // The last Flush could not write all that was due.
  bool Blocked() const { return blocked_; }
  void Clear() { chunks_.clear(); }

 private:
  struct Chunk {
    std::vector<uint8_t> Bytes;
    double Due;
    size_t Sent = 0;
    double Start = -1;  // when its first byte left
  };
  static constexpr double kRetryMs = 5.0;
  double byteMs_;
  bool blocked_ = false;
  double retryMs_ = 0;
  double lineFreeMs_ = 0;
  std::deque<Chunk> chunks_;
};

}  // namespace kpxsim
