// The matrix product and the grouped convolution jobs.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(MatMulFloat);
VORTA_JOB_BODY(ConvFloat);

}  // namespace vorta::VORTA_NS
