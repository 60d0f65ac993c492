#pragma once
// The request trace: one JSON object per line, stamped with the milliseconds since start and
// flushed at once so that a test can follow it while the simulator runs.

#include <cstdio>
#include <string>

#include "sim/Json.h"
#include "sim/SimClock.h"

namespace kpxsim {

class Trace {
 public:
  explicit Trace(const SimClock& clock) : clock_(clock) {}
  ~Trace();
  Trace(const Trace&) = delete;
  Trace& operator=(const Trace&) = delete;

  // An empty path keeps the trace off.
  bool Open(const std::string& path);

  // Writes `t` and `dir` followed by the fields of `fields`.
  void Write(std::string_view dir, const JsonObject& fields);

 private:
  const SimClock& clock_;
  std::FILE* file_ = nullptr;
};

}  // namespace kpxsim
