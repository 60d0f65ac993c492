#pragma once
// Milliseconds since the simulator started; every time window and trace stamp uses it.

#include <chrono>

namespace kpxsim {

class SimClock {
 public:
  double NowMs() const {
    return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start_)
        .count();
  }

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

}  // namespace kpxsim
