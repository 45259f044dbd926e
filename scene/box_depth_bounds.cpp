// Box depth bounds: the smallest and largest view depth of a box's eight
// corners under each of two views.
#include <vorta/vorta.h>

#include "scene/geometry.h"
#include "scene/range_job.h"
#include "scene/scene.h"

namespace vorta {
using DepthBoundsJob = ::VortaDepthBoundsJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

constexpr float kFloatMax = 3.4028235e38f;

void Bound(const DepthBoundsJob* job, int32_t begin, int32_t end) {
  const int32_t count = job->boxCount;
  const uint8_t* boxes = static_cast<const uint8_t*>(job->boxes);
  for (int32_t i = begin; i < end; ++i) {
    // The third row of the view matrix: floats 2, 6, 10 and 14.
    const Matrix view(job->views[i / count]);
    const float* m = view.m;
    float box[6];
    __builtin_memcpy(box, boxes + static_cast<int64_t>(i % count) * VORTA_DEPTH_BOUNDS_BOX_STRIDE,
                     sizeof box);
    float lo = kFloatMax, hi = -kFloatMax;
    bool first = true;
    for (int c = 0; c < 8; ++c) {
      const float x = (c & 1) ? box[0] + box[3] : box[0] - box[3];
      const float y = (c & 2) ? box[1] + box[4] : box[1] - box[4];
      const float z = (c & 4) ? box[2] + box[5] : box[2] - box[5];
      const float d = -(((m[2] * x + m[6] * y) + m[10] * z) + m[14]);
      if (first) {
        // The first corner starts both bounds, clamped to the finite range; a
        // NaN first corner is ignored like any other.
        if (d != d) continue;
        lo = hi = d < -kFloatMax ? -kFloatMax : (d > kFloatMax ? kFloatMax : d);
        first = false;
        continue;
      }
      lo = d < lo ? d : lo;
      hi = d > hi ? d : hi;
    }
    job->output[2 * static_cast<int64_t>(i)] = lo;
    job->output[2 * static_cast<int64_t>(i) + 1] = hi;
  }
}

}  // namespace

VORTA_JOB_RUNNING(BoxDepthBounds, DepthBoundsJob, RunRanges<DepthBoundsJob, Bound>)

}  // namespace vorta::VORTA_NS
