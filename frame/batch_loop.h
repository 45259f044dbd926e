// The batch loop every parallel job runs: ask the host for the next range,
// skip empty ones, hand the rest to the body, until the host says no work is left.
#pragma once
#include "frame/services.h"

namespace vorta {

template <class Body>
static inline __attribute__((always_inline)) void RunBatchLoop(BatchRanges* ranges,
                                                               uint32_t jobIndex, Body&& body) {
  int32_t begin = 0, end = 0;
  while (NextBatch(ranges, jobIndex, &begin, &end)) {
    if (begin < end) body(begin, end);
  }
}

}  // namespace vorta
