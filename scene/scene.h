// The scene jobs: transform tracking, light depth bounds and screen-row
// binning, box depth bounds, depth bins and tile ranges.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(TrackTransforms);
VORTA_JOB_BODY(LightDepthBounds);
VORTA_JOB_BODY(ScreenRowBinning);
VORTA_JOB_BODY(BoxDepthBounds);
VORTA_JOB_BODY(DepthBins);
VORTA_JOB_BODY(TileRanges);

}  // namespace vorta::VORTA_NS
