// The index-tuple jobs: gather elements, gather and scatter by index tuples,
// select by condition and the sum over reduced dimensions.
#pragma once
#include "frame/job.h"
#include "vorta/vorta.h"

namespace vorta {
using GatherElementsJob = ::VortaGatherElementsJob;
using GatherTuplesJob = ::VortaGatherTuplesJob;
using ScatterTuplesJob = ::VortaScatterTuplesJob;
using ConditionSelectJob = ::VortaConditionSelectJob;
using LayoutSumJob = ::VortaLayoutSumJob;
}  // namespace vorta

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(GatherElements);
VORTA_JOB_BODY(GatherTuples);
VORTA_JOB_BODY(ScatterTuplesFloat);
VORTA_JOB_BODY(ScatterTuplesInt32);
VORTA_JOB_BODY(ConditionSelect);
VORTA_JOB_BODY(LayoutSum);

}  // namespace vorta::VORTA_NS
