// Generators of tensor contents: constant fill, float and int32 ranges, and the
// counter-based uniform, normal and Bernoulli random tensors.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(FillConstant);
VORTA_JOB_BODY(FillFloatRange);
VORTA_JOB_BODY(FillIntRange);
VORTA_JOB_BODY(RandomUniform);
VORTA_JOB_BODY(RandomNormal);
VORTA_JOB_BODY(RandomBernoulli);

}  // namespace vorta::VORTA_NS
