// The run loop of the scene jobs whose body handles one index range.
#pragma once
#include "frame/batch_loop.h"

namespace vorta::VORTA_NS {

template <class Job, void (*Range)(const Job*, int32_t, int32_t)>
static inline void RunRanges(const Job* job, BatchRanges* ranges, uint32_t jobIndex) {
  RunBatchLoop(ranges, jobIndex, [job](int32_t begin, int32_t end) { Range(job, begin, end); });
}

}  // namespace vorta::VORTA_NS
