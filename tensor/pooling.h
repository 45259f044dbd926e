// Average and max pooling over the two innermost dimensions of float planes,
// with windows clipped to the input.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(PoolAverage);
VORTA_JOB_BODY(PoolMax);

}  // namespace vorta::VORTA_NS
