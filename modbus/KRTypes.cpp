#include "modbus/KRTypes.h"

#include <chrono>

uint32_t KRGetTickCount() {
  using namespace std::chrono;
  return static_cast<uint32_t>(
      duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

namespace {
std::function<void()>& BlockingWaitHook() {
  static std::function<void()> hook;
  return hook;
}
}  // namespace

void KRSetBlockingWaitHook(std::function<void()> AHook) { BlockingWaitHook() = std::move(AHook); }
const std::function<void()>& KRBlockingWaitHook() { return BlockingWaitHook(); }
