// Two- and three-dimensional grid sampling: nearest or linear, with zeros,
// border or reflection padding.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(GridSample2D);
VORTA_JOB_BODY(GridSample3D);

}  // namespace vorta::VORTA_NS
