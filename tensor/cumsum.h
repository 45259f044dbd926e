// Cumulative sums along an axis of an [outer][N][S] view.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(CumulativeSumFloat);
VORTA_JOB_BODY(CumulativeSumInt32);

}  // namespace vorta::VORTA_NS
