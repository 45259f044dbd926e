// Emitter culling around a listener. The layer and distance test runs on whole
// lane blocks of candidates (spheres loaded four floats at a time and
// transposed into lanes); a block with no emitter in reach costs no more. The
// accepted emitters are then written out one by one, in candidate order, and
// cut into batches of at most 250. Both the block and the one-emitter tail
// compute the same IEEE operations in the stated order, so the result does not
// depend on where a candidate falls.
#include <string.h>

#include "frame/simd.h"
#include "math/aiming.h"
#include "tensor/elementary.h"

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
  float listener[3];
  float maxDistance;
  uint32_t layerMask;
};

template <class T>
static inline T* Data(const VortaHostArray& a) {
  return static_cast<T*>(a.data);
}

static inline int64_t At(int32_t k) { return static_cast<int64_t>(k); }

static inline bool LayerOn(const CullView& v, int32_t k) {
  return ((v.layerMask >> (v.layers[4 * At(k)] & 31)) & 1) != 0;
}

// An emitter's inputs to the distance test, one emitter or one lane block.
template <class L>
struct Inputs {
  L x, y, z, radius, maxRange;
  uint32_t layers;  // bit i: lane i's layer is in the mask
};

static inline Inputs<float> Load(const CullView& v, const int32_t* k) {
  const float* s = v.spheres + 4 * At(*k);
  return {s[0], s[1], s[2], s[3], v.range[2 * At(*k)], LayerOn(v, *k) ? 1u : 0u};
}

#if defined(VORTA_VARIANT_AVX2)
static inline Inputs<VFloat> LoadBlock(const CullView& v, const int32_t* k) {
  __m256 r[4];
  for (int i = 0; i < 4; ++i)
    r[i] = _mm256_set_m128(_mm_loadu_ps(v.spheres + 4 * At(k[i + 4])),
                           _mm_loadu_ps(v.spheres + 4 * At(k[i])));
  // Transpose within each 128-bit half: lanes 0-3 and 4-7 of x, y, z, radius.
  const __m256 t0 = _mm256_unpacklo_ps(r[0], r[1]), t1 = _mm256_unpackhi_ps(r[0], r[1]);
  const __m256 t2 = _mm256_unpacklo_ps(r[2], r[3]), t3 = _mm256_unpackhi_ps(r[2], r[3]);
  const __m256 x = _mm256_shuffle_ps(t0, t2, 0x44), y = _mm256_shuffle_ps(t0, t2, 0xee);
  const __m256 z = _mm256_shuffle_ps(t1, t3, 0x44), w = _mm256_shuffle_ps(t1, t3, 0xee);
  // The lane order above is 0, 1, 2, 3 | 4, 5, 6, 7 already (each half holds
  // candidates i and i + 4 in its slot i).
  const __m256i idx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(k));
  const __m256 maxRange = _mm256_i32gather_ps(v.range, _mm256_add_epi32(idx, idx), 4);
  const __m256i layer = _mm256_and_si256(
      _mm256_i32gather_epi32(reinterpret_cast<const int*>(v.layers), idx, 4), _mm256_set1_epi32(31));
  const __m256i on = _mm256_and_si256(
      _mm256_srlv_epi32(_mm256_set1_epi32(static_cast<int>(v.layerMask)), layer),
      _mm256_set1_epi32(1));
  const uint32_t layers = static_cast<uint32_t>(_mm256_movemask_ps(
      _mm256_castsi256_ps(_mm256_cmpeq_epi32(on, _mm256_set1_epi32(1)))));
  return {Bits<VFloat>(x), Bits<VFloat>(y), Bits<VFloat>(z), Bits<VFloat>(w),
          Bits<VFloat>(maxRange), layers};
}
// The 32-bit gather offsets (index * 2 floats) stay in range below this.
constexpr int32_t kBlockIndexLimit = 1 << 29;
#else
static inline Inputs<VFloat> LoadBlock(const CullView& v, const int32_t* k) {
  __m128 r[4];
  for (int i = 0; i < 4; ++i) r[i] = _mm_loadu_ps(v.spheres + 4 * At(k[i]));
  _MM_TRANSPOSE4_PS(r[0], r[1], r[2], r[3]);
  const __m128 maxRange = _mm_setr_ps(v.range[2 * At(k[0])], v.range[2 * At(k[1])],
                                      v.range[2 * At(k[2])], v.range[2 * At(k[3])]);
  uint32_t layers = 0;
  for (int i = 0; i < 4; ++i) layers |= (LayerOn(v, k[i]) ? 1u : 0u) << i;
  return {Bits<VFloat>(r[0]), Bits<VFloat>(r[1]), Bits<VFloat>(r[2]), Bits<VFloat>(r[3]),
          Bits<VFloat>(maxRange), layers};
}
constexpr int32_t kBlockIndexLimit = INT32_MAX;
#endif

static inline uint32_t MaskBits(bool m) { return m ? 1u : 0u; }
static inline uint32_t MaskBits(VInt m) { return static_cast<uint32_t>(LaneBits(m)); }

template <class L>
struct Tested {
  uint32_t accepted;  // bit i: lane i passes the layer and distance tests
  L dist, reach;
};

// dist = sqrt(dz² + (dy² + dx²)) from the listener; reach = the nearer of the
// emitter's range and the maximum distance, plus the radius. A NaN distance
// is not beyond reach.
template <class L>
static inline Tested<L> Test(const CullView& v, const Inputs<L>& in) {
  const L dx = Splat<L>(v.listener[0]) - in.x, dy = Splat<L>(v.listener[1]) - in.y,
          dz = Splat<L>(v.listener[2]) - in.z;
  const L dist = Sqrt(dz * dz + (dy * dy + dx * dx));
  const L md = Splat<L>(v.maxDistance);
  const L reach = Select(MaskOr(IsNan(md), in.maxRange < md), in.maxRange, md) + in.radius;
  return {in.layers & ~MaskBits(dist > reach), dist, reach};
}

// The source frame with words 3, 7 and 11 from the column words and the last
// row (gain, the extra pair, column word 3), one 16-byte row at a time.
static inline void WriteFrame(uint32_t* out, const uint8_t* frame, const uint32_t* columns,
                              const uint32_t* extra, float gain) {
  const __m128i keep = _mm_setr_epi32(-1, -1, -1, 0);
  const __m128i c = _mm_loadu_si128(reinterpret_cast<const __m128i*>(columns));
  auto row = [&](int r, __m128i column) {
    const __m128i f = _mm_loadu_si128(reinterpret_cast<const __m128i*>(frame + 16 * r));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 4 * r),
                     _mm_or_si128(_mm_and_si128(f, keep), _mm_andnot_si128(keep, column)));
  };
  row(0, _mm_shuffle_epi32(c, 0x00));
  row(1, _mm_shuffle_epi32(c, 0x55));
  row(2, _mm_shuffle_epi32(c, 0xaa));
  const __m128i pair = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(extra));
  const __m128i last = _mm_or_si128(_mm_cvtsi32_si128(Bits<int32_t>(gain)), _mm_slli_si128(pair, 4));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(out + 12),
                   _mm_or_si128(_mm_and_si128(last, keep), _mm_andnot_si128(keep, c)));
}

struct Writer {
  int32_t j = 0, first = 0, batches = 0;

  inline void Accept(const CullView& v, int64_t k, float dist, float reach) {
    float g = (reach - dist) / ((1.0f - v.range[2 * k + 1]) * reach);
    g = MaxStep(MinStep(g, 1.0f), 0.0f) * v.gains[k];
    memcpy(v.outPoses + 64 * At(j), v.poses + 64 * k, 64);
    WriteFrame(v.outFrames + 16 * At(j), v.frames + 64 * k, v.columns + 4 * k, v.extra + 2 * k, g);
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

static inline void CullOne(const CullView& v, const int32_t* k, Writer& w) {
  const Tested<float> t = Test(v, Load(v, k));
  if (t.accepted) w.Accept(v, At(*k), t.dist, t.reach);
}

static inline bool BlockIndexable(const int32_t* k) {
  int32_t all = 0;
  for (int i = 0; i < kLanes; ++i) all |= k[i];
  return all >= 0 && all < kBlockIndexLimit;
}

}  // namespace

VORTA_MSABI void CullEmitters(const VortaEmitterCullArgs* a) {
  CullView v = {Data<uint8_t>(a->sourcePoses),  Data<uint8_t>(a->sourceFrames),
                Data<float>(a->rangeParams),    Data<uint32_t>(a->extraPair),
                Data<uint32_t>(a->columnWords), Data<uint8_t>(a->layers),
                Data<float>(a->gains),          Data<float>(a->spheres),
                Data<uint32_t>(a->ids),         Data<uint8_t>(a->outPoses),
                Data<uint32_t>(a->outFrames),   Data<uint32_t>(a->outIds),
                Data<int32_t>(a->outBatches),   {},
                a->maxDistance,                 a->layerMask};
  memcpy(v.listener, a->listener, sizeof v.listener);
  const int32_t* candidates = Data<int32_t>(a->candidates);
  const int32_t count = a->candidateCount;
  Writer w;
  int32_t i = 0;
  for (; i + kLanes <= count; i += kLanes) {
    const int32_t* k = candidates + i;
    if (!BlockIndexable(k)) {
      for (int l = 0; l < kLanes; ++l) CullOne(v, k + l, w);
      continue;
    }
    const Tested<VFloat> t = Test(v, LoadBlock(v, k));
    if (t.accepted == 0) continue;
    float dist[kLanes], reach[kLanes];
    Store(dist, t.dist);
    Store(reach, t.reach);
    for (uint32_t m = t.accepted; m != 0; m &= m - 1) {
      const int lane = __builtin_ctz(m);
      w.Accept(v, At(k[lane]), dist[lane], reach[lane]);
    }
  }
  for (; i < count; ++i) CullOne(v, candidates + i, w);
  if (w.first != w.j) w.Close(v);
  *a->outBatchCount = w.batches;
}

}  // namespace vorta::VORTA_NS
