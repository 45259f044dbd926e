// Resize. The builders map every output position of each resized dimension to
// input offsets (and, for linear resizing, the weight of the upper neighbour),
// kLanes positions at a time; the coordinate j * scale + offset is rounded
// after the product and again after the sum in both variants, so the integer
// tables never depend on the variant. The jobs walk their batch in runs along
// the innermost output dimension, reading the outer tables once per run.
#include "tensor/resize.h"

#include "frame/batch_loop.h"
#include "tensor/elementary.h"
#include "tensor/rounding.h"
#include "tensor/spatial_runs.h"

namespace vorta {
using ResizeTableArgs = ::VortaResizeTableArgs;
using ResizeJob = ::VortaResizeJob;
using UpsampleJob = ::VortaUpsampleJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

// Elements from one position of dimension i to the next: the product of the
// input extents of the dimensions inside it.
static inline int32_t DimensionStride(const ResizeTableArgs* a, int32_t i) {
  uint32_t stride = 1;
  for (int32_t k = i + 1; k < a->dims; ++k) stride *= uint32_t(a->inSize[k]);
  return int32_t(stride);
}

// The input coordinate of output positions j, clamped below at 0 (a NaN
// coordinate becomes 0 too).
template <class L>
static inline __attribute__((always_inline)) L Coordinate(IntOf<L> j, float scale, float offset) {
  const L x = ToFloat(j) * Splat<L>(scale) + Splat<L>(offset);
  return Select(x > Splat<L>(0.0f), x, Splat<L>(0.0f));
}

template <class L>
static inline __attribute__((always_inline)) IntOf<L> Lanes0(int32_t j) {
  if constexpr (sizeof(L) == 4) {
    return j;
  } else {
    VInt v;
    for (int i = 0; i < kLanes; ++i) v[i] = j + i;
    return v;
  }
}

// Runs fill(j, lanes) over positions [0, n): blocks of kLanes, then one by one.
template <class Fill>
static inline __attribute__((always_inline)) void ForPositions(int32_t n, Fill&& fill) {
  int32_t j = 0;
  for (; j + kLanes <= n; j += kLanes) fill(j, Lanes0<VFloat>(j), VFloat{});
  for (; j < n; ++j) fill(j, j, 0.0f);
}

// Entry of the nearest table: stride × the rounded coordinate, clamped to the
// last input position; 0 for a coordinate that rounds to 0 or less (or that
// overflows int32).
template <int kMode, class L>
static inline __attribute__((always_inline)) IntOf<L> NearestEntry(IntOf<L> j, float scale,
                                                                    float offset, int32_t last,
                                                                    int32_t stride) {
  using I = IntOf<L>;
  const L x = Coordinate<L>(j, scale, offset);
  I m = TruncToInt(kMode == 2 ? Floor(x) : Ceil(x));
  m = Select(m < Splat<I>(last), m, Splat<I>(last));
  return Select(m > Splat<I>(0), WrapMul(m, Splat<I>(stride)), Splat<I>(0));
}

template <int kMode>
static inline void FillNearest(int32_t* t, int32_t n, float scale, float offset, int32_t last,
                               int32_t stride) {
  ForPositions(n, [&](int32_t j, auto lanes, auto sample) {
    using L = decltype(sample);
    Store(t + j, NearestEntry<kMode, L>(lanes, scale, offset, last, stride));
  });
}

// The upper weight of the linear tables: x − floor(x). The lower index is the
// truncated coordinate, clamped to the last input position like the upper
// one, so a coordinate the host let run past the input cannot make the job
// read outside it; inside the input nothing changes.
template <class L>
static inline __attribute__((always_inline)) void LinearEntry(IntOf<L> j, float scale, float offset,
                                                              int32_t last, int32_t stride,
                                                              IntOf<L>& lo, IntOf<L>& hi, L& frac) {
  using I = IntOf<L>;
  const L x = Coordinate<L>(j, scale, offset);
  I h = TruncToInt(x);
  const I lastL = Splat<I>(last);
  h = Select(MaskOr(h < Splat<I>(0), h > lastL), lastL, h);
  const I h1 = h + Splat<I>(1);
  lo = WrapMul(h, Splat<I>(stride));
  hi = WrapMul(Select(h1 < lastL, h1, lastL), Splat<I>(stride));
  frac = x - Floor(x);
}

}  // namespace

VORTA_MSABI void ResizeNearestTables(const ResizeTableArgs* args) {
  auto* t = static_cast<int32_t*>(args->tables);
  for (int32_t i = 0; i < args->dims && i < 3; ++i) {
    const int32_t n = args->outSize[i], last = args->inSize[i] - 1;
    const int32_t stride = DimensionStride(args, i);
    if (args->roundMode == 2) FillNearest<2>(t, n, args->scale[i], args->offset[i], last, stride);
    else if (args->roundMode == 3) FillNearest<3>(t, n, args->scale[i], args->offset[i], last, stride);
    else FillWords(t, 0, n);
    t += n;
  }
}

VORTA_MSABI void ResizeLinearTables(const ResizeTableArgs* args) {
  auto* t = static_cast<int32_t*>(args->tables);
  for (int32_t i = 0; i < args->dims && i < 3; ++i) {
    const int32_t n = args->outSize[i], last = args->inSize[i] - 1;
    const int32_t stride = DimensionStride(args, i);
    const float scale = args->scale[i], offset = args->offset[i];
    int32_t* lo = t;
    int32_t* hi = t + n;
    float* frac = reinterpret_cast<float*>(t + 2 * int64_t(n));
    ForPositions(n, [&](int32_t j, auto lanes, auto sample) {
      using L = decltype(sample);
      IntOf<L> l, h;
      L f;
      LinearEntry<L>(lanes, scale, offset, last, stride, l, h, f);
      Store(lo + j, l);
      Store(hi + j, h);
      Store(frac + j, f);
    });
    t += 3 * int64_t(n);
  }
}

namespace {

// Where one run of the resize jobs reads: the block's input, the offsets
// contributed by the outer resized dimensions, and the innermost table.
struct ResizeShape {
  bool twoD;
  int32_t d0, d1, d2, inner;  // inner: the innermost output extent
  int64_t planeStride;
  explicit ResizeShape(const ResizeJob* j)
      : twoD(j->dims == 2), d0(j->d0), d1(j->d1), d2(j->d2), inner(twoD ? j->d1 : j->d2),
        planeStride(j->planeStride) {}
};

// The (block, a[, b]) coordinates of a run's row: divisions for the first row
// of a batch, one odometer step for each row after it.
struct RowCursor {
  int64_t next = -1, block = 0;
  int32_t a = 0, b = 0;
  void Seek(const ResizeShape& s, int64_t row) {
    if (row != next) {
      const int64_t outer = s.twoD ? row : row / s.d1;
      b = s.twoD ? 0 : int32_t(row - outer * s.d1);
      block = outer / s.d0;
      a = int32_t(outer - block * s.d0);
    } else if (s.twoD || ++b == s.d1) {
      b = 0;
      if (++a == s.d0) {
        a = 0;
        ++block;
      }
    }
    next = row + 1;
  }
};

static inline void RunNearest(const ResizeJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const ResizeShape shape(job);
  const auto* in = static_cast<const float*>(job->input);
  auto* out = static_cast<float*>(job->output);
  const auto* t0 = static_cast<const int32_t*>(job->tables);
  const int32_t* t1 = t0 + shape.d0;
  const int32_t* t2 = t1 + shape.d1;
  const int32_t* inner = shape.twoD ? t1 : t2;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    // A run reading the same input row over the same columns as the one just
    // written (an outer dimension being enlarged) copies that output instead.
    const float* previousSource = nullptr;
    const float* previousOut = nullptr;
    int32_t previousFirst = 0, previousLast = 0;
    RowCursor at;
    ForEachRow(begin, end, shape.inner, [&](int64_t row, int32_t first, int32_t last) {
      at.Seek(shape, row);
      const int64_t block = at.block;
      const int32_t a = at.a, b = at.b;
      const float* src = in + block * shape.planeStride + t0[a] + (shape.twoD ? 0 : t1[b]);
      float* o = out + row * shape.inner;
      if (src == previousSource && first == previousFirst && last == previousLast) {
        CopyWords(o + first, previousOut + first, last - first);
      } else {
        int32_t k = first;
        for (; k + kLanes <= last; k += kLanes)
          Store(o + k, GatherLanes(src, Load<VInt>(inner + k)));
        for (; k < last; ++k) Store(o + k, Load<uint32_t>(src + inner[k]));
      }
      previousSource = src;
      previousOut = o;
      previousFirst = first;
      previousLast = last;
    });
  });
}

// ---- linear ----

constexpr int32_t kSpan = 256;  // columns of one chunk of a run
constexpr int kSlots = 4;       // rows a chunk needs at most (three-dimensional form)

// The two weighted terms of one input row over a chunk of output columns:
// lower[k] = (1 − w) × row[lo[k]] and upper[k] = w × row[hi[k]]. Neighbouring
// output rows mostly read the same input rows, so a few are kept.
struct RowTerms {
  const float* row;
  int32_t first, count;
  float lower[kSpan], upper[kSpan];
};

struct RowCache {
  RowTerms slot[kSlots];
  unsigned pinned = 0;
  int next = 0;
  RowCache() {
    for (RowTerms& s : slot) s.row = nullptr;
  }

  // The terms of `row` over columns [first, first + count), computed unless a
  // slot has them. A slot handed out since the last Unpin is not reused.
  // room: elements readable from `row` on (to the end of its block).
  const RowTerms& Get(const float* row, int64_t room, int32_t first, int32_t count,
                      const int32_t* lo, const int32_t* hi, const float* w) {
    for (int i = 0; i < kSlots; ++i) {
      RowTerms& s = slot[i];
      if (s.row == row && s.first == first && s.count == count) {
        pinned |= 1u << i;
        return s;
      }
    }
    while (pinned & (1u << next)) next = (next + 1) % kSlots;
    const int i = next;
    next = (next + 1) % kSlots;
    pinned |= 1u << i;
    RowTerms& s = slot[i];
    s.row = row;
    s.first = first;
    s.count = count;
    int32_t k = 0;
    for (; k + kLanes <= count; k += kLanes) {
      const VFloat wk = Load<VFloat>(w + first + k);
      const VInt l = Load<VInt>(lo + first + k), h = Load<VInt>(hi + first + k);
      VFloat lower, upper;
#if defined(VORTA_VARIANT_AVX2)
      // Lanes that all read within eight elements from the first lane's lower
      // neighbour (enlarging, mostly) take one load and two permutes.
      const int32_t base = l[0];
      const VInt dl = l - base, dh = h - base;
      if (LaneBits(Bits<VUint>(dl | dh) >= 8u) == 0 && base >= 0 && int64_t(base) + 8 <= room) {
        const __m256 v = _mm256_loadu_ps(row + base);
        lower = reinterpret_cast<VFloat>(_mm256_permutevar8x32_ps(v, reinterpret_cast<__m256i>(dl)));
        upper = reinterpret_cast<VFloat>(_mm256_permutevar8x32_ps(v, reinterpret_cast<__m256i>(dh)));
      } else
#endif
      {
        lower = GatherLanes(row, l);
        upper = GatherLanes(row, h);
      }
      Store(s.lower + k, (Splat<VFloat>(1.0f) - wk) * lower);
      Store(s.upper + k, wk * upper);
    }
    for (; k < count; ++k) {
      const float wk = w[first + k];
      s.lower[k] = (1.0f - wk) * row[lo[first + k]];
      s.upper[k] = wk * row[hi[first + k]];
    }
    return s;
  }
  void Unpin() { pinned = 0; }
};

// One dimension's table: offsets of the lower and upper neighbour, upper weight.
struct LinearTable {
  const int32_t* lo;
  const int32_t* hi;
  const float* w;
  static LinearTable At(const int32_t* t, int32_t n) {
    return {t, t + n, reinterpret_cast<const float*>(t + 2 * int64_t(n))};
  }
};

// top = y0row·wx + y0row·(1 − wx) (the two terms of the upper-left row), then
// (((1 − wx)·y1lo − top) + wx·y1hi)·wy + top.
template <class L>
static inline __attribute__((always_inline)) L Bilinear(const RowTerms& r0, const RowTerms& r1,
                                                        int32_t k, L wy) {
  const L top = Load<L>(r0.upper + k) + Load<L>(r0.lower + k);
  return ((Load<L>(r1.lower + k) - top) + Load<L>(r1.upper + k)) * wy + top;
}

// Rows (front/back slab, lower/upper row) each ww·p[hi] + (1 − ww)·p[lo]; front
// = fl·(1 − wh) + fh·wh; ((bl·(1 − wh) − front) + bh·wh)·wd + front.
template <class L>
static inline __attribute__((always_inline)) L Trilinear(const RowTerms* const r[4], int32_t k,
                                                         L wh, L wd) {
  auto row = [&](int i) { return Load<L>(r[i]->upper + k) + Load<L>(r[i]->lower + k); };
  const L oneMinus = Splat<L>(1.0f) - wh;
  const L front = row(0) * oneMinus + row(1) * wh;
  return ((row(2) * oneMinus - front) + row(3) * wh) * wd + front;
}

static inline void RunLinear(const ResizeJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const ResizeShape shape(job);
  const auto* in = static_cast<const float*>(job->input);
  auto* out = static_cast<float*>(job->output);
  const auto* t = static_cast<const int32_t*>(job->tables);
  const LinearTable t0 = LinearTable::At(t, shape.d0);
  const LinearTable t1 = LinearTable::At(t + 3 * int64_t(shape.d0), shape.d1);
  const LinearTable t2 = LinearTable::At(t + 3 * (int64_t(shape.d0) + shape.d1), shape.d2);
  const LinearTable& x = shape.twoD ? t1 : t2;
  RowCache cache;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    RowCursor at;
    ForEachRow(begin, end, shape.inner, [&](int64_t row, int32_t first, int32_t last) {
      at.Seek(shape, row);
      const int32_t a = at.a, b = at.b;
      const float* p = in + at.block * shape.planeStride;
      const int64_t room = shape.planeStride;
      float* o = out + row * shape.inner;
      for (int32_t c = first; c < last; c += kSpan) {
        const int32_t count = last - c < kSpan ? last - c : kSpan;
        cache.Unpin();
        float* oc = o + c;
        if (shape.twoD) {
          const RowTerms& r0 = cache.Get(p + t0.lo[a], room - t0.lo[a], c, count, x.lo, x.hi, x.w);
          const RowTerms& r1 = cache.Get(p + t0.hi[a], room - t0.hi[a], c, count, x.lo, x.hi, x.w);
          const float wy = t0.w[a];
          int32_t k = 0;
          for (; k + kLanes <= count; k += kLanes)
            Store(oc + k, Bilinear(r0, r1, k, Splat<VFloat>(wy)));
          for (; k < count; ++k) oc[k] = Bilinear(r0, r1, k, wy);
        } else {
          auto get = [&](int64_t offset) -> const RowTerms* {
            return &cache.Get(p + offset, room - offset, c, count, x.lo, x.hi, x.w);
          };
          const RowTerms* r[4] = {get(int64_t(t0.lo[a]) + t1.lo[b]), get(int64_t(t0.lo[a]) + t1.hi[b]),
                                  get(int64_t(t0.hi[a]) + t1.lo[b]), get(int64_t(t0.hi[a]) + t1.hi[b])};
          const float wh = t1.w[b], wd = t0.w[a];
          int32_t k = 0;
          for (; k + kLanes <= count; k += kLanes)
            Store(oc + k, Trilinear(r, k, Splat<VFloat>(wh), Splat<VFloat>(wd)));
          for (; k < count; ++k) oc[k] = Trilinear(r, k, wh, wd);
        }
      }
    });
  });
}

// ---- upsample ----

// Writes each of n values twice, to `first` and, when not null, to `second`.
static inline void WritePairs(uint32_t* first, uint32_t* second, const uint32_t* src, int64_t n) {
  auto put = [&](int64_t at, VUint pair) {
    Store(first + at, pair);
    if (second) Store(second + at, pair);
  };
  int64_t i = 0;
  for (; i + kLanes <= n; i += kLanes) {
#if defined(VORTA_VARIANT_AVX2)
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(src + i));
    const __m256i lo = _mm256_unpacklo_epi32(v, v), hi = _mm256_unpackhi_epi32(v, v);
    put(2 * i, reinterpret_cast<VUint>(_mm256_permute2x128_si256(lo, hi, 0x20)));
    put(2 * i + kLanes, reinterpret_cast<VUint>(_mm256_permute2x128_si256(lo, hi, 0x31)));
#else
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(src + i));
    put(2 * i, reinterpret_cast<VUint>(_mm_unpacklo_epi32(v, v)));
    put(2 * i + kLanes, reinterpret_cast<VUint>(_mm_unpackhi_epi32(v, v)));
#endif
  }
  for (; i < n; ++i) {
    first[2 * i] = first[2 * i + 1] = src[i];
    if (second) second[2 * i] = second[2 * i + 1] = src[i];
  }
}

static inline void RunUpsample(const UpsampleJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const auto* in = static_cast<const uint32_t*>(job->input);
  auto* out = static_cast<uint32_t*>(job->output);
  const int32_t inW = job->inW, fx = job->fx, fy = job->fy;
  const int64_t rowOut = int64_t(inW) * fx;  // one output row
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    ForEachRow(begin, end, inW, [&](int64_t row, int32_t first, int32_t last) {
      const uint32_t* src = in + row * inW + first;
      uint32_t* dst = out + row * rowOut * fy + int64_t(first) * fx;
      const int64_t n = last - first, run = n * fx;
      int32_t done = 1;  // output rows of the block written so far
      if (fx == 1) {
        CopyWords(dst, src, n);
      } else if (fx == 2) {
        WritePairs(dst, fy >= 2 ? dst + rowOut : nullptr, src, n);
        done = fy >= 2 ? 2 : 1;
      } else {
        for (int64_t i = 0; i < n; ++i) FillWords(dst + i * fx, src[i], fx);
      }
      for (int32_t r = done; r < fy; ++r) CopyWords(dst + r * rowOut, dst, run);
    });
  });
}

}  // namespace

VORTA_JOB_RUNNING(ResizeNearest, ResizeJob, RunNearest)
VORTA_JOB_RUNNING(ResizeLinear, ResizeJob, RunLinear)
VORTA_JOB_RUNNING(Upsample, UpsampleJob, RunUpsample)

}  // namespace vorta::VORTA_NS
