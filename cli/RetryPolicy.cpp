#include "cli/RetryPolicy.h"

TCallResult TRetryPolicy::Run(TRepeat aRepeat, const std::function<TCallResult()>& aSend) const {
  const int32_t attempts = aRepeat == TRepeat::Idempotent ? 1 + Retries : 1;
  TCallResult r;
  for (int32_t i = 0; i < attempts; ++i) {
    r = aSend();
    if (r.Ok() || r.Refused()) break;
  }
  return r;
}
