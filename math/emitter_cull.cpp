// Emitter culling around a listener: the layer and distance test runs on whole
// lane blocks of candidates, and the accepted emitters are then written out one
// by one, in candidate order, and cut into batches of at most 250.
#include <string.h>

#include "frame/simd.h"
#include "math/aiming.h"

namespace vorta::VORTA_NS {
namespace {

struct CullView {
  const uint8_t* poses;
  const uint8_t* frames;
  const float* range;
  const uint32_t* extra;
  const uint32_t* columns;
  const uint8_t* layers;
  const float* gains;
  const float* spheres;
  const uint32_t* ids;
  uint8_t* outPoses;
  uint32_t* outFrames;
  uint32_t* outIds;
  int32_t* outBatches;
};

template <class T>
static inline T* Data(const VortaHostArray& a) {
  return static_cast<T*>(a.data);
}

// The emitter inputs of one lane block (or one emitter), gathered by index.
template <class L>
struct Gathered {
  L layerBit, x, y, z, radius, maxRange, rolloff;
};

template <class L>
static inline Gathered<L> Gather(const CullView& v, uint32_t mask, const int32_t* k);

template <>
inline Gathered<float> Gather<float>(const CullView& v, uint32_t mask, const int32_t* k) {
  const float* s = v.spheres + 4 * static_cast<int64_t>(*k);
  const float* r = v.range + 2 * static_cast<int64_t>(*k);
  uint32_t bit = (mask >> (v.layers[4 * static_cast<int64_t>(*k)] & 31)) & 1;
  return {bit ? 1.0f : 0.0f, s[0], s[1], s[2], s[3], r[0], r[1]};
}

template <>
inline Gathered<VFloat> Gather<VFloat>(const CullView& v, uint32_t mask, const int32_t* k) {
  Gathered<VFloat> g;
  for (int i = 0; i < kLanes; ++i) {
    Gathered<float> one = Gather<float>(v, mask, k + i);
    g.layerBit[i] = one.layerBit;
    g.x[i] = one.x;
    g.y[i] = one.y;
    g.z[i] = one.z;
    g.radius[i] = one.radius;
    g.maxRange[i] = one.maxRange;
    g.rolloff[i] = one.rolloff;
  }
  return g;
}

static inline uint32_t MaskBits(bool m) { return m ? 1u : 0u; }
static inline uint32_t MaskBits(VInt m) {
#if defined(VORTA_VARIANT_AVX2)
  return static_cast<uint32_t>(_mm256_movemask_ps(reinterpret_cast<__m256>(m)));
#else
  return static_cast<uint32_t>(_mm_movemask_ps(reinterpret_cast<__m128>(m)));
#endif
}

template <class L>
struct Tested {
  uint32_t accepted;  // bit i: lane i passes the layer and distance tests
  L gain;             // the clamped distance gain, before the emitter's own gain
};

// The layer and distance test and the distance gain, in the stated order.
template <class L>
static inline Tested<L> Test(const Gathered<L>& g, const float* listener, float maxDistance) {
  L dx = Splat<L>(listener[0]) - g.x, dy = Splat<L>(listener[1]) - g.y,
    dz = Splat<L>(listener[2]) - g.z;
  L dist = Sqrt(dz * dz + (dy * dy + dx * dx));
  L md = Splat<L>(maxDistance);
  auto rangeFirst = MaskOr(IsNan(md), g.maxRange < md);
  L reach = Select(rangeFirst, g.maxRange, md) + g.radius;
  auto pass = MaskAnd(g.layerBit != Splat<L>(0.0f), MaskNot(dist > reach));
  L gain = (reach - dist) / ((Splat<L>(1.0f) - g.rolloff) * reach);
  gain = MaxStep(MinStep(gain, Splat<L>(1.0f)), Splat<L>(0.0f));
  return {MaskBits(pass), gain};
}

struct Writer {
  int32_t j = 0, first = 0, batches = 0;

  inline void Accept(const CullView& v, int64_t k, float distanceGain) {
    memcpy(v.outPoses + 64 * static_cast<int64_t>(j), v.poses + 64 * k, 64);
    uint32_t* f = v.outFrames + 16 * static_cast<int64_t>(j);
    const uint32_t* c = v.columns + 4 * k;
    memcpy(f, v.frames + 64 * k, 48);
    f[3] = c[0];
    f[7] = c[1];
    f[11] = c[2];
    float gain = distanceGain * v.gains[k];
    memcpy(f + 12, &gain, 4);
    f[13] = v.extra[2 * k];
    f[14] = v.extra[2 * k + 1];
    f[15] = c[3];
    v.outIds[j] = v.ids[k];
    ++j;
    if (j - first > VORTA_EMITTER_BATCH - 1) Close(v);
  }
  inline void Close(const CullView& v) {
    v.outBatches[2 * batches] = first;
    v.outBatches[2 * batches + 1] = j;
    ++batches;
    first = j;
  }
};

template <class L>
static inline void CullBlock(const CullView& v, const VortaEmitterCullArgs* a, const int32_t* k,
                             Writer& w) {
  float listener[3];
  memcpy(listener, a->listener, sizeof listener);
  Gathered<L> g = Gather<L>(v, a->layerMask, k);
  Tested<L> t = Test(g, listener, a->maxDistance);
  for (uint32_t m = t.accepted; m != 0; m &= m - 1) {
    int lane = __builtin_ctz(m);
    float gain;
    if constexpr (std::is_same_v<L, float>) {
      gain = t.gain;
    } else {
      gain = t.gain[lane];
    }
    w.Accept(v, k[lane], gain);
  }
}

}  // namespace

VORTA_MSABI void CullEmitters(const VortaEmitterCullArgs* a) {
  const CullView v = {Data<uint8_t>(a->sourcePoses), Data<uint8_t>(a->sourceFrames),
                      Data<float>(a->rangeParams),   Data<uint32_t>(a->extraPair),
                      Data<uint32_t>(a->columnWords), Data<uint8_t>(a->layers),
                      Data<float>(a->gains),          Data<float>(a->spheres),
                      Data<uint32_t>(a->ids),         Data<uint8_t>(a->outPoses),
                      Data<uint32_t>(a->outFrames),   Data<uint32_t>(a->outIds),
                      Data<int32_t>(a->outBatches)};
  const int32_t* candidates = Data<int32_t>(a->candidates);
  const int32_t count = a->candidateCount;
  Writer w;
  int32_t i = 0;
  for (; i + kLanes <= count; i += kLanes) CullBlock<VFloat>(v, a, candidates + i, w);
  for (; i < count; ++i) CullBlock<float>(v, a, candidates + i, w);
  if (w.first != w.j) w.Close(v);
  *a->outBatchCount = w.batches;
}

}  // namespace vorta::VORTA_NS
