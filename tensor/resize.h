// Resizing of the two or three innermost dimensions: the table builders
// (direct calls), the nearest and linear jobs that read the tables, and the
// upsampling by whole factors.
#pragma once
#include "frame/job.h"
#include "vorta/vorta.h"

namespace vorta::VORTA_NS {

VORTA_MSABI void ResizeNearestTables(const ::VortaResizeTableArgs* args);
VORTA_MSABI void ResizeLinearTables(const ::VortaResizeTableArgs* args);
VORTA_JOB_BODY(ResizeNearest);
VORTA_JOB_BODY(ResizeLinear);
VORTA_JOB_BODY(Upsample);

}  // namespace vorta::VORTA_NS
