#pragma once
// How often a request that got no usable answer is sent again. The window tolerates two missed
// answers before it declares the link lost; so does the command line by default: a request is
// sent up to three times, and only the third failure in a row counts. A refusal by the supply
// (an exception answer) is an answer and is never repeated. A write is repeated only where
// sending it twice leaves the supply as sending it once does.

#include "cli/CallResult.h"

#include <cstdint>
#include <functional>

// Whether a request may be sent again after its answer was lost: reads, and writes of set values,
// output state, key lock and the active preset, may; a raw write or a command may not.
enum class TRepeat { Once, Idempotent };

struct TRetryPolicy {
  static constexpr int32_t kDefaultRetries = 2;
  static constexpr int32_t kMaxRetries = 20;

  int32_t Retries = kDefaultRetries;

  // Sends with aSend until the answer is usable or the retries are spent; the last result.
  TCallResult Run(TRepeat aRepeat, const std::function<TCallResult()>& aSend) const;
};
