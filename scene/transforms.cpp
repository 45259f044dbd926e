// Transform tracking: sample every transform from the host, keep the cached
// position, rotation and scale current, and rebuild the world matrix, the
// combined matrix and the bounding sphere of the objects that changed.
#include <vorta/vorta.h>

#include "frame/batch_loop.h"
#include "frame/statics.h"
#include "scene/geometry.h"
#include "scene/scene.h"

namespace vorta {
using TransformTrackingJob = ::VortaTransformTrackingJob;
using TransformJobTarget = ::VortaTransformJobTarget;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

typedef int32_t*(VORTA_MSABI* SortedToUserFn)(uint64_t array);
typedef uint8_t*(VORTA_MSABI* SortedAccessFn)(uint64_t array);
typedef void(VORTA_MSABI* QueryFn)(const void* access, float* out);

constexpr uint32_t kAccessBytes = 16;

// Asks the host for a position, rotation or scale into a zeroed buffer.
static inline F4 Query(Service s, const void* access) {
  float out[4] = {};
  ServiceSlot<QueryFn>(s)(access, out);
  return LoadF4(out);
}

static inline float Distance3(F4 a, F4 b) {
  const F4 d = a - b;
  return (d[0] * d[0] + d[1] * d[1]) + d[2] * d[2];
}
static inline float Distance4(F4 a, F4 b) {
  const F4 d = a - b;
  return ((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2]) + d[3] * d[3];
}
static inline void Store3(float* p, F4 v) { __builtin_memcpy(p, &v, 3 * sizeof(float)); }
static inline F4 Load3(const float* p, float w) { return F4{p[0], p[1], p[2], w}; }

void Rebuild(const TransformTrackingJob* job, const uint8_t* access, int32_t u) {
  const F4 fixed = LoadF4(vorta_statics.rotationXMinus90);
  F4 w[4];
  if (job->matrixSource[u] == 1) {
    float m[16] = {};
    ServiceSlot<QueryFn>(kGetLocalToWorldMatrix)(access, m);
    F4 mc[4] = {LoadF4(m), LoadF4(m + 4), LoadF4(m + 8), LoadF4(m + 12)};
    F4 r[3];
    RotationColumns(fixed, r);
    for (int k = 0; k < 3; ++k) w[k] = Transform4(mc, r[k]);
    w[3] = mc[3];
  } else {
    RotationColumns(QuatMul(Query(kGetRotation, access), fixed), w);
    w[3] = Load3(job->positions + 3 * u, 1.0f);
  }
  float* world = job->worldMatrices + 16 * static_cast<int64_t>(u);
  StoreF4(world, w[0]);
  StoreF4(world + 4, w[2]);
  StoreF4(world + 8, w[1]);
  StoreF4(world + 12, w[3]);

  const float* offset = job->offsetMatrices + 16 * static_cast<int64_t>(u);
  float* combined = job->combinedMatrices + 16 * static_cast<int64_t>(u);
  F4 k[4];
  for (int c = 0; c < 4; ++c) {
    k[c] = Transform4(w, LoadF4(offset + 4 * c));
    StoreF4(combined + 4 * c, k[c]);
  }
  const F4 half = Splat4(0.5f);
  const F4 p = ((half * k[0] + half * k[1]) + half * k[2]) + k[3];
  const F4 n = ((-half * k[0] - half * k[1]) - half * k[2]) + k[3];
  const F4 centre = (p + n) * half;
  const F4 d = p - n;
  const float radius = 0.5f * SqrtF(((d[0] * d[0] + d[1] * d[1]) + d[2] * d[2]) + d[3] * d[3]);
  StoreF4(job->boundingSpheres + 4 * static_cast<int64_t>(u),
          F4{centre[0], centre[1], centre[2], radius});
  job->dirty[u] = 0;
}

void Track(const TransformTrackingJob* job, const int32_t* sortedToUser, const uint8_t* sorted,
           int32_t begin, int32_t end) {
  const float t = job->threshold;
  for (int32_t s = begin; s < end; ++s) {
    const int32_t u = sortedToUser[s];
    const uint8_t* a = sorted + static_cast<int64_t>(s) * kAccessBytes;
    float* pos = job->positions + 3 * static_cast<int64_t>(u);
    float* rot = job->rotations + 4 * static_cast<int64_t>(u);
    float* scl = job->scales + 3 * static_cast<int64_t>(u);
    // Strict comparisons: a NaN distance never counts as a change.
    const bool moved = Distance3(Query(kGetPosition, a), Load3(pos, 0.0f)) > t;
    if (moved) Store3(pos, Query(kGetPosition, a));
    const bool turned = Distance4(Query(kGetRotation, a), LoadF4(rot)) > t;
    if (turned) StoreF4(rot, Query(kGetRotation, a));
    const bool rescaled = Distance3(Query(kGetLocalScale, a), Load3(scl, 0.0f)) > t;
    if (rescaled) Store3(scl, Query(kGetLocalScale, a));
    if (rescaled || moved || turned || (job->dirty[u] & 1)) Rebuild(job, a, u);
  }
}

}  // namespace

VORTA_JOB_BODY(TrackTransforms) {
  (void)patch;
  const TransformTrackingJob* record = static_cast<const TransformTrackingJob*>(job);
  TransformJobTarget target;
  __builtin_memcpy(&target, additional, sizeof target);
  const int32_t* sortedToUser =
      ServiceSlot<SortedToUserFn>(kGetSortedToUserIndex)(target.transformArray);
  const uint8_t* sorted =
      ServiceSlot<SortedAccessFn>(kGetSortedTransformAccess)(target.transformArray);
  if (target.mode == 1) {
    RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
      Track(record, sortedToUser, sorted, begin, end);
    });
    return;
  }
  // One fixed range per job index: pair `jobIndex` of the host's pair array.
  const int32_t* pairs;
  __builtin_memcpy(&pairs, reinterpret_cast<const uint8_t*>(ranges) + VORTA_RANGES_FIXED_PAIRS_OFFSET,
                   sizeof pairs);
  Track(record, sortedToUser, sorted, pairs[2 * static_cast<int64_t>(jobIndex)],
        pairs[2 * static_cast<int64_t>(jobIndex) + 1]);
}

}  // namespace vorta::VORTA_NS
