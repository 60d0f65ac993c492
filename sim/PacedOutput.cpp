#include "sim/PacedOutput.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>

namespace kpxsim {

void PacedOutput::Enqueue(std::vector<uint8_t> bytes, double dueMs) {
  if (!bytes.empty()) chunks_.push_back({std::move(bytes), dueMs});
}

bool PacedOutput::Flush(int fd, double nowMs) {
  blocked_ = false;
  while (!chunks_.empty()) {
    Chunk& c = chunks_.front();
    if (c.Start < 0) {
      const double start = std::max(c.Due, lineFreeMs_);
      if (start > nowMs) return true;
      c.Start = start;
    }
    size_t allowed = c.Bytes.size();
    if (byteMs_ > 0)
      // A byte counts as sent once its last bit would have left.
      allowed = std::min(allowed, static_cast<size_t>(std::floor((nowMs - c.Start) / byteMs_ + 1e-9)));
    if (allowed > c.Sent) {
      const size_t wanted = allowed - c.Sent;
      const ssize_t n = ::write(fd, c.Bytes.data() + c.Sent, wanted);
      if (n < 0 && errno != EAGAIN && errno != EINTR) return false;
      if (n > 0) c.Sent += static_cast<size_t>(n);
      if (n < static_cast<ssize_t>(wanted)) {
        // The reader is not keeping up; try again a little later instead of spinning.
        blocked_ = true;
        retryMs_ = nowMs + kRetryMs;
        return true;
      }
    }
    if (c.Sent < c.Bytes.size()) return true;
    lineFreeMs_ = c.Start + byteMs_ * static_cast<double>(c.Bytes.size());
    chunks_.pop_front();
  }
  return true;
}

double PacedOutput::NextDueMs() const {
  if (chunks_.empty()) return std::numeric_limits<double>::infinity();
  const Chunk& c = chunks_.front();
  const double due = c.Start < 0 ? std::max(c.Due, lineFreeMs_)
                                 : c.Start + byteMs_ * static_cast<double>(c.Sent + 1);
  return blocked_ ? std::max(due, retryMs_) : due;
}

}  // namespace kpxsim
