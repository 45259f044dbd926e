// The data-movement jobs: copies, strided slices, the strided gather, the
// broadcasts, gathers and scatters along an axis, one-hot and the triangles.
#pragma once
#include "frame/job.h"
#include "vorta/vorta.h"

namespace vorta {
using CopyJob = ::VortaCopyJob;
using StridedRowCopyJob = ::VortaStridedRowCopyJob;
using StridedCopyJob = ::VortaStridedCopyJob;
using StridedGatherJob = ::VortaStridedGatherJob;
using BroadcastJob = ::VortaBroadcastJob;
using GatherAxisJob = ::VortaGatherAxisJob;
using GatherElementsAxisJob = ::VortaGatherElementsAxisJob;
using ScatterElementsAxisJob = ::VortaScatterElementsAxisJob;
using ScatterElementsJob = ::VortaScatterElementsJob;
using OneHotJob = ::VortaOneHotJob;
using TriangleJob = ::VortaTriangleJob;
}  // namespace vorta

namespace vorta::VORTA_NS {

VORTA_MSABI void CopyWordsDirect(const CopyJob* job);
VORTA_JOB_BODY(StridedRowCopy);
VORTA_JOB_BODY(SliceRead);
VORTA_JOB_BODY(SliceWrite);
VORTA_JOB_BODY(StridedGather);
VORTA_JOB_BODY(BroadcastCopy);
VORTA_JOB_BODY(GatherAxis);
VORTA_JOB_BODY(GatherElementsAxis);
VORTA_JOB_BODY(ScatterElementsAxis);
VORTA_JOB_BODY(ScatterElements);
VORTA_JOB_BODY(OneHot);
VORTA_JOB_BODY(LowerTriangle);
VORTA_JOB_BODY(UpperTriangle);

}  // namespace vorta::VORTA_NS
