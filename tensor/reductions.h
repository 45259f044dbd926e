// The axis reductions over an [outer][N][S] view.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(ReduceSumFloat);
VORTA_JOB_BODY(ReduceSumInt32);
VORTA_JOB_BODY(ReduceProductFloat);
VORTA_JOB_BODY(ReduceProductInt32);
VORTA_JOB_BODY(ReduceMinFloat);
VORTA_JOB_BODY(ReduceMaxFloat);
VORTA_JOB_BODY(ReduceMinInt32);
VORTA_JOB_BODY(ReduceMaxInt32);
VORTA_JOB_BODY(ReduceMeanFloat);
VORTA_JOB_BODY(ReduceMeanSquareFloat);
VORTA_JOB_BODY(ReduceSumSquareFloat);
VORTA_JOB_BODY(ReduceSumSquareInt32);
VORTA_JOB_BODY(ReduceL1Float);
VORTA_JOB_BODY(ReduceL1Int32);
VORTA_JOB_BODY(ReduceL2Float);
VORTA_JOB_BODY(ReduceSqrtSumFloat);
VORTA_JOB_BODY(ReduceLogSumFloat);
VORTA_JOB_BODY(ReduceLogSumExpFloat);

}  // namespace vorta::VORTA_NS
