// Non-maximum suppression (the pairwise overlap flags and the greedy selection
// per row) and top-k along an axis.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(NmsOverlap);
VORTA_JOB_BODY(NmsSelect);
VORTA_JOB_BODY(TopK);

}  // namespace vorta::VORTA_NS
