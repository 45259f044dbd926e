// The general contraction, column-to-image with bias and normalisation apply.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(Contract);
VORTA_JOB_BODY(ColumnsToImage);
VORTA_JOB_BODY(NormApply);

}  // namespace vorta::VORTA_NS
