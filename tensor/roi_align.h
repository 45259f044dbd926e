// Region-of-interest align: bilinear samples of a feature map pooled per region
// into a fixed grid, by average or maximum.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(RoiAlign);

}  // namespace vorta::VORTA_NS
