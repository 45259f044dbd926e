// Light depth bounds: the nearest and farthest view depth of each light's
// sphere, tightened to the cone for spot lights.
#include "scene/lights.h"
#include "scene/range_job.h"
#include "scene/scene.h"

namespace vorta {
using LightDepthBoundsJob = ::VortaLightDepthBoundsJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

// max(x, 0) with NaN giving 0.
static inline float ClampDepth(float x) { return x > 0.0f ? x : 0.0f; }

void Bound(const LightDepthBoundsJob* job, int32_t begin, int32_t end) {
  const int32_t count = job->lightCount;
  for (int32_t i = begin; i < end; ++i) {
    const Matrix matrix(job->viewMatrices[i / count]);
    const float* view = matrix.m;
    const LightRecord& light = job->lights[i % count];
    const V3 position = LoadV3(light.position);
    const float range = light.range;
    const V3 t = ViewPoint(view, position);
    float nearDepth = -t.z - range;
    float farDepth = range - t.z;
    if (light.lightType == kSpotLight) {
      const float half = light.spotAngle * kDegreesToRadians * 0.5f;
      const float cosH = LightCos(half), sinH = LightSin(half);
      const float cosH2 = LightSin(1.5707964f - half);
      const float capDistance = range * cosH;
      const float g = capDistance * cosH;
      const V3 dir = LoadV3(light.direction);
      const V3 q = ViewPoint(view, {capDistance * dir.x + position.x,
                                    capDistance * dir.y + position.y,
                                    capDistance * dir.z + position.z});
      const float ax = q.x - t.x, ay = q.y - t.y, j = t.z - q.z;
      const float k = SqrtF(1.0f - (j * j) / (j * j + (ay * ay + ax * ax)));
      const float capExtent = ((sinH * capDistance) / cosH2) * k;
      // A NaN candidate keeps the apex depth; a tie takes the candidate.
      if (g > -j) {
        const float c = -q.z - capExtent;
        nearDepth = c <= -t.z ? c : -t.z;
      }
      if (g > j) {
        const float c = capExtent - q.z;
        farDepth = c >= -t.z ? c : -t.z;
      }
    }
    job->depthBounds[2 * static_cast<int64_t>(i)] = ClampDepth(nearDepth);
    job->depthBounds[2 * static_cast<int64_t>(i) + 1] = ClampDepth(farDepth);
  }
}

}  // namespace

VORTA_JOB_RUNNING(LightDepthBounds, LightDepthBoundsJob, RunRanges<LightDepthBoundsJob, Bound>)

}  // namespace vorta::VORTA_NS
