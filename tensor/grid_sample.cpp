// Grid sampling. Every output of a grid point reads the same input positions in
// each channel's plane, so a batch prepares a chunk of grid points once (the
// padding transform, unnormalising, corner offsets, read masks and weights,
// kLanes points at a time) and then samples that chunk in every channel the
// batch covers. Each output still depends only on its own grid point and
// plane, and the order of its arithmetic is the same in every path.
#include "tensor/grid_sample.h"

#include "frame/batch_loop.h"
#include "tensor/elementary.h"
#include "tensor/float_remainder.h"
#include "tensor/rounding.h"
#include "tensor/spatial_runs.h"
#include "vorta/vorta.h"

namespace vorta {
using GridSample2DJob = ::VortaGridSample2DJob;
using GridSample3DJob = ::VortaGridSample3DJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

constexpr int32_t kChunk = 64;  // grid points prepared at once, a multiple of kLanes
enum Padding : int32_t { kZeros, kBorder, kReflection };

// D coordinates per point, x first; extent[c] is W, H, D.
template <int D>
struct Shape {
  const float* input;
  const float* grid;
  float* output;
  int32_t extent[D];
  int32_t stride[D];  // elements per step: 1, W, W·H
  int64_t planeSize;
  int32_t channels, spatial;
  int32_t padding;
  bool linear, alignCorners, roundsToNearest;
};

template <int D>
struct Prepared {
  static constexpr int kCorners = 1 << D;
  int32_t offset[kCorners][kChunk];      // the clamped corner, always inside the plane
  int32_t read[kCorners][kChunk];        // all ones: use it; zero: it contributes 0.0
  int32_t zeroWeight[kCorners][kChunk];  // all ones: the corner's weight is exactly 0
  float weight[D][kChunk];               // the upper corner's weight per coordinate
  bool anyZeroWeight;
};

template <class L> using MaskL = MaskOf<L>;

static inline int32_t MaskWord(bool m) { return m ? -1 : 0; }
static inline VInt MaskWord(VInt m) { return m; }
template <class L>
static inline __attribute__((always_inline)) MaskL<L> LoadMask(const int32_t* p) {
  if constexpr (sizeof(L) == 4) return *p != 0;
  else return Load<VInt>(p);
}
template <class L>
static inline __attribute__((always_inline)) MaskL<L> AllLanes() {
  if constexpr (sizeof(L) == 4) return true;
  else return Splat<VInt>(-1);
}

// The padding transform of a normalised coordinate, then its pixel position.
template <class L>
static inline __attribute__((always_inline)) L Unnormalise(L g, int32_t extent, int32_t padding,
                                                           bool alignCorners) {
  const L one = Splat<L>(1.0f);
  if (padding == kBorder) {
    const L m = Select(g < one, g, one);  // a NaN coordinate becomes +1
    g = Select(m > -one, m, -one);
  } else if (padding == kReflection) {
    const L four = Splat<L>(4.0f);
    g = Abs(Remainder(Remainder(g - one, four) + four, four) - Splat<L>(2.0f)) - one;
  }
  const L u = (g + one) * Splat<L>(0.5f);
  if (alignCorners) return u * Splat<L>(float(extent) - 1.0f);
  return u * Splat<L>(float(extent)) - Splat<L>(0.5f);
}

// Inside [0, extent) (zeros padding reads only there), and the index clamped
// first to at most extent − 1, then to at least 0.
template <class I>
static inline __attribute__((always_inline)) auto Inside(I i, int32_t extent) {
  return MaskAnd(i >= Splat<I>(0), i < Splat<I>(extent));
}
template <class I>
static inline __attribute__((always_inline)) I Clamp(I i, int32_t extent) {
  const I last = Splat<I>(extent - 1);
  i = Select(i < last, i, last);
  return Select(i > Splat<I>(0), i, Splat<I>(0));
}

// Prepares the lanes of L at slot k from their coordinates g[0 .. D); true
// when some corner of some lane has weight exactly 0.
template <int D, class L>
static inline __attribute__((always_inline)) bool PrepareLanes(const Shape<D>& s, const L* g,
                                                               int32_t k, Prepared<D>& p) {
  using I = IntOf<L>;
  I lo[D] = {}, hi[D] = {};
  MaskL<L> readLo[D] = {}, readHi[D] = {}, zero[D] = {};
  const bool zeros = s.padding == kZeros;
  for (int c = 0; c < D; ++c) {
    const L u = Unnormalise(g[c], s.extent[c], s.padding, s.alignCorners);
    I i0;
    if (s.linear) {
      const L f = Floor(u);
      i0 = TruncToInt(f);
      const I i1 = i0 + Splat<I>(1);
      const L w = u - f;
      Store(p.weight[c] + k, w);
      zero[c] = w == Splat<L>(0.0f);
      readHi[c] = zeros ? Inside(i1, s.extent[c]) : AllLanes<L>();
      hi[c] = WrapMul(Clamp(i1, s.extent[c]), Splat<I>(s.stride[c]));
    } else {
      i0 = TruncToInt(RoundHalfEven(u, s.roundsToNearest));
    }
    readLo[c] = zeros ? Inside(i0, s.extent[c]) : AllLanes<L>();
    lo[c] = WrapMul(Clamp(i0, s.extent[c]), Splat<I>(s.stride[c]));
  }
  const int corners = s.linear ? (1 << D) : 1;
  MaskL<L> anyZero = MaskNot(AllLanes<L>());
  for (int corner = 0; corner < corners; ++corner) {
    I offset = Splat<I>(0);
    MaskL<L> read = AllLanes<L>(), zw = MaskNot(AllLanes<L>());
    for (int c = 0; c < D; ++c) {
      const bool upper = (corner >> c) & 1;
      offset = offset + (upper ? hi[c] : lo[c]);
      read = MaskAnd(read, upper ? readHi[c] : readLo[c]);
      if (upper) zw = MaskOr(zw, zero[c]);
    }
    Store(p.offset[corner] + k, offset);
    Store(p.read[corner] + k, MaskWord(read));
    Store(p.zeroWeight[corner] + k, MaskWord(zw));
    anyZero = MaskOr(anyZero, zw);
  }
  if constexpr (sizeof(L) == 4) return anyZero;
  else return LaneBits(anyZero) != 0;
}

template <int D>
static inline void Prepare(const Shape<D>& s, const float* points, int32_t count, Prepared<D>& p) {
  bool anyZero = false;
  int32_t k = 0;
  for (; k + kLanes <= count; k += kLanes) {
    VFloat g[D];
    VInt index;
    for (int i = 0; i < kLanes; ++i) index[i] = (k + i) * D;
    for (int c = 0; c < D; ++c) g[c] = GatherLanes(points + c, index);
    anyZero |= PrepareLanes<D>(s, g, k, p);
  }
  for (; k < count; ++k) {
    float g[D];
    for (int c = 0; c < D; ++c) g[c] = points[k * D + c];
    anyZero |= PrepareLanes<D>(s, g, k, p);
  }
  p.anyZeroWeight = anyZero;
}

// a·(1 − f) + f·b, each product and the sum rounded.
template <class L>
static inline __attribute__((always_inline)) L Lerp(L a, L b, L f) {
  return a * (Splat<L>(1.0f) - f) + f * b;
}

// The prepared lanes at slot k, held while they are sampled in one channel
// after another. A corner outside the input under zeros padding contributes
// 0.0; so does a corner of weight exactly 0 whose value is not finite, where
// 0·∞ would turn a finite sample into NaN. The corners then fold innermost
// coordinate first (z, then y, then x).
template <int D, class L>
struct Lanes {
  using I = IntOf<L>;
  static constexpr int kCorners = 1 << D;
  int corners;
  // The zero-weight masks are needed rarely: read where they lie, which keeps
  // the registers for what every channel uses.
  const int32_t* zeroWeight;
  I offset[kCorners];
  MaskL<L> read[kCorners];
  L weight[D];

  Lanes(const Shape<D>& s, const Prepared<D>& p, int32_t k)
      : corners(s.linear ? kCorners : 1), zeroWeight(p.anyZeroWeight ? &p.zeroWeight[0][k] : nullptr) {
    for (int c = 0; c < corners; ++c) {
      offset[c] = Load<I>(p.offset[c] + k);
      read[c] = LoadMask<L>(p.read[c] + k);
    }
    for (int c = 0; c < D; ++c) weight[c] = Load<L>(p.weight[c] + k);
  }

  L Sample(const float* plane) const {
    const L zero = Splat<L>(0.0f);
    if (corners == 1) return Select(read[0], GatherLanes(plane, offset[0]), zero);
    L v[kCorners];
    for (int c = 0; c < kCorners; ++c) {
      v[c] = Select(read[c], GatherLanes(plane, offset[c]), zero);
      if (zeroWeight) {
        const auto zw = LoadMask<L>(zeroWeight + c * kChunk);
        v[c] = Select(MaskAnd(zw, MaskNot(Abs(v[c]) < Splat<L>(__builtin_inff()))), zero, v[c]);
      }
    }
    for (int c = D - 1; c >= 0; --c)
      for (int corner = 0; corner < (1 << c); ++corner)
        v[corner] = Lerp(v[corner], v[corner + (1 << c)], weight[c]);
    return v[0];
  }
};

// Slots [lo, hi) of one channel's plane.
template <int D>
static inline void Sample(const Shape<D>& s, const float* plane, const Prepared<D>& p, int32_t lo,
                          int32_t hi, float* out) {
  int32_t k = lo;
  for (; k + kLanes <= hi; k += kLanes) Store(out + (k - lo), Lanes<D, VFloat>(s, p, k).Sample(plane));
  for (; k < hi; ++k) out[k - lo] = Lanes<D, float>(s, p, k).Sample(plane);
}

// Slots [0, count) in `channels` consecutive planes from `plane` on, lane group
// by lane group, each group's preparation read once for all the channels.
template <int D>
static inline void SampleChannels(const Shape<D>& s, const float* plane, const Prepared<D>& p,
                                  int32_t count, int64_t channels, float* out) {
  const int64_t S = s.spatial;
  int32_t k = 0;
  for (; k + kLanes <= count; k += kLanes) {
    const Lanes<D, VFloat> lanes(s, p, k);
    for (int64_t ch = 0; ch < channels; ++ch) Store(out + ch * S + k, lanes.Sample(plane + ch * s.planeSize));
  }
  for (; k < count; ++k) {
    const Lanes<D, float> lanes(s, p, k);
    for (int64_t ch = 0; ch < channels; ++ch) out[ch * S + k] = lanes.Sample(plane + ch * s.planeSize);
  }
}

// Walks a batch item by item; within an item, chunk by chunk of grid points,
// each prepared once and sampled in every channel of the item the batch covers
// (the channels that take the whole chunk together, lane group by lane group).
template <int D>
static inline void RunGridSample(const Shape<D>& s, BatchRanges* ranges, uint32_t jobIndex) {
  Prepared<D> p;
  const int64_t S = s.spatial, K = s.channels, KS = K * S;
  if (S < 1 || K < 1) return;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int64_t i = begin; i < end;) {
      const int64_t n = i / KS, itemStart = n * KS;
      const int64_t itemEnd = end < itemStart + KS ? end : itemStart + KS;
      const int64_t a = i - itemStart, b = itemEnd - itemStart;  // [a, b) = ch·S + s
      const int64_t chA = a / S, sA = a - chA * S, chB = (b - 1) / S, sB = b - chB * S;
      const int64_t sLo = chA == chB ? sA : 0, sHi = chA == chB ? sB : S;
      const float* points = s.grid + n * S * D;
      for (int64_t c0 = sLo; c0 < sHi; c0 += kChunk) {
        const int64_t c1 = c0 + kChunk < sHi ? c0 + kChunk : sHi;
        Prepare<D>(s, points + c0 * D, int32_t(c1 - c0), p);
        // Channels chFull .. chLast take the whole chunk; chA and chB may not.
        const int64_t chFull = sA > c0 ? chA + 1 : chA, chLast = sB < c1 ? chB - 1 : chB;
        auto partial = [&](int64_t ch) {
          const int64_t from = ch == chA && sA > c0 ? sA : c0;
          const int64_t to = ch == chB && sB < c1 ? sB : c1;
          if (from >= to) return;
          const int64_t plane = n * K + ch;
          Sample<D>(s, s.input + plane * s.planeSize, p, int32_t(from - c0), int32_t(to - c0),
                    s.output + plane * S + from);
        };
        const bool firstPartial = chA < chFull, lastPartial = chB > chLast;
        if (firstPartial) partial(chA);
        if (lastPartial && !(chB == chA && firstPartial)) partial(chB);
        if (chFull <= chLast) {
          const int64_t plane = n * K + chFull;
          SampleChannels<D>(s, s.input + plane * s.planeSize, p, int32_t(c1 - c0), chLast - chFull + 1,
                            s.output + plane * S + c0);
        }
      }
      i = itemEnd;
    }
  });
}

template <int D, class Job>
static inline Shape<D> ShapeOf(const Job* j, const int32_t (&extent)[D]) {
  Shape<D> s;
  s.input = j->input;
  s.grid = j->grid;
  s.output = j->output;
  int32_t stride = 1;
  for (int c = 0; c < D; ++c) {
    s.extent[c] = extent[c];
    s.stride[c] = stride;
    stride = int32_t(uint32_t(stride) * uint32_t(extent[c]));
  }
  s.planeSize = j->planeSize;
  s.channels = j->channels;
  s.spatial = j->outputSpatial;
  s.padding = j->paddingMode;
  s.linear = j->linear != 0;
  s.alignCorners = j->alignCorners != 0;
  s.roundsToNearest = ThreadRoundsToNearest();
  return s;
}

static inline void Run2D(const GridSample2DJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t extent[2] = {j->inputWidth, j->inputHeight};
  RunGridSample<2>(ShapeOf<2>(j, extent), ranges, jobIndex);
}

static inline void Run3D(const GridSample3DJob* j, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t extent[3] = {j->inputWidth, j->inputHeight, j->inputDepth};
  RunGridSample<3>(ShapeOf<3>(j, extent), ranges, jobIndex);
}

}  // namespace

VORTA_JOB_RUNNING(GridSample2D, GridSample2DJob, Run2D)
VORTA_JOB_RUNNING(GridSample3D, GridSample3DJob, Run3D)

}  // namespace vorta::VORTA_NS
