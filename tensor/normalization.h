// Row statistics, the layer and root-mean-square normalisation tails, batch
// normalisation and the per-channel affine map.
#pragma once
#include "frame/job.h"

namespace vorta::VORTA_NS {

VORTA_JOB_BODY(RowStatsFloat);
VORTA_JOB_BODY(LayerNormFloat);
VORTA_JOB_BODY(RmsNormFloat);
VORTA_JOB_BODY(BatchNormFloat);
VORTA_JOB_BODY(ChannelAffineFloat);

}  // namespace vorta::VORTA_NS
