// Pooling walks its batch in runs along an output row. A run whose vertical
// window misses the input is filled in one pass; otherwise kLanes neighbouring
// outputs whose windows lie wholly inside the input horizontally (strides 1
// and 2) are computed together, one lane each, and the rest one at a time. In
// every path each output folds its window row by row, left to right, so the
// lanes give exactly what the one-at-a-time path gives.
#include "tensor/pooling.h"

#include "frame/batch_loop.h"
#include "tensor/spatial_runs.h"
#include "vorta/vorta.h"

namespace vorta {
using Pool2dJob = ::VortaPool2dJob;
}

namespace vorta::VORTA_NS {
namespace {

// The sum of the clipped window times 1 / (elements inside it); an output row
// whose window misses the input vertically is the default NaN.
struct Average {
  static constexpr uint32_t kEmptyRow = 0xffc00000u;
  static constexpr bool kRegroups = false;  // float sums keep their order
  template <class L> L Start() const { return Splat<L>(0.0f); }
  template <class L> L Step(L acc, L x) const { return acc + x; }
  template <class L> L Finish(L acc, float reciprocal) const { return acc * Splat<L>(reciprocal); }
};

// The fold acc = (acc > x) ? acc : x from -3.4028235e38, except that a window
// holding a NaN gives NaN: the bare fold forgets every element before a NaN
// in mid-window ([7, NaN, -inf] would give -inf, below the identity). Where
// the bare fold ends on a NaN (the window's last element) that NaN is the
// result; another NaN window gives the default NaN. The NaN test runs beside
// the fold rather than in its chain of dependent steps.
template <class L>
struct MaxAcc {
  L acc;
  MaskOf<L> sawNan;
};
struct Max {
  static constexpr uint32_t kEmptyRow = 0xff7fffffu;
  static constexpr bool kRegroups = true;
  template <class L> MaxAcc<L> Start() const {
    return {Splat<L>(-3.4028235e38f), MaskNot(Splat<L>(0.0f) == Splat<L>(0.0f))};
  }
  template <class L> MaxAcc<L> Step(MaxAcc<L> a, L x) const {
    return {MaxStep(a.acc, x), MaskOr(a.sawNan, IsNan(x))};
  }
  template <class L> L Finish(MaxAcc<L> a, float) const {
    return Select(MaskAnd(a.sawNan, MaskNot(IsNan(a.acc))), Bits<L>(Splat<IntOf<L>>(int32_t(0xffc00000u))), a.acc);
  }
};

// p[2i] and p[2i + 1] for the kLanes outputs i of a stride-2 group, reading
// p[0 .. 2·kLanes). On AVX2 the lanes come in the order the in-lane shuffle
// leaves them (outputs 0 1 4 5 2 3 6 7); every step is lane by lane, so the
// group's result is put in output order once, by InOutputOrder.
static inline __attribute__((always_inline)) void LoadEvenOdd(const float* p, VFloat& even,
                                                              VFloat& odd) {
#if defined(VORTA_VARIANT_AVX2)
  const __m256 a = _mm256_loadu_ps(p), b = _mm256_loadu_ps(p + 8);
  even = reinterpret_cast<VFloat>(_mm256_shuffle_ps(a, b, 0x88));
  odd = reinterpret_cast<VFloat>(_mm256_shuffle_ps(a, b, 0xdd));
#else
  const __m128 a = _mm_loadu_ps(p), b = _mm_loadu_ps(p + 4);
  even = reinterpret_cast<VFloat>(_mm_shuffle_ps(a, b, 0x88));
  odd = reinterpret_cast<VFloat>(_mm_shuffle_ps(a, b, 0xdd));
#endif
}

template <int kStride>
static inline __attribute__((always_inline)) VFloat InOutputOrder(VFloat v) {
#if defined(VORTA_VARIANT_AVX2)
  if constexpr (kStride == 2)
    return reinterpret_cast<VFloat>(_mm256_castpd_ps(
        _mm256_permute4x64_pd(_mm256_castps_pd(reinterpret_cast<__m256>(v)), 0xd8)));
#endif
  return v;
}

struct Geometry {
  const float* input;
  float* output;
  int32_t inH, inW, outH, outW, kH, kW, sH, sW, padTop, padLeft;
};

// Lanes where a or b is NaN.
static inline __attribute__((always_inline)) VInt Unordered(VFloat a, VFloat b) {
#if defined(VORTA_VARIANT_AVX2)
  return reinterpret_cast<VInt>(_mm256_cmp_ps(reinterpret_cast<__m256>(a), reinterpret_cast<__m256>(b), _CMP_UNORD_Q));
#else
  return reinterpret_cast<VInt>(_mm_cmpunord_ps(reinterpret_cast<__m128>(a), reinterpret_cast<__m128>(b)));
#endif
}

// The max fold of three-wide, stride-2 windows, each row folded on its own
// and the rows then folded onto the running value. Without NaNs the step
// (acc > x) ? acc : x keeps the last of the largest elements however the
// chain is grouped, so this equals the fold element by element; a NaN window
// comes out the same too, since the result then depends only on whether the
// last element is NaN (it ends both chains as the second operand) and on the
// NaN test, which sees every element.
struct RowMax {
  VFloat value;
  VInt nan;
};

// The window row at r: columns 0 and 1 from one deinterleave, column 2 as the
// odd lanes one to the right (reading no further than the last window's end).
static inline __attribute__((always_inline)) RowMax FoldRowThreeWide(const float* r) {
  VFloat x0, x1, x2, unused;
  LoadEvenOdd(r, x0, x1);
  LoadEvenOdd(r + 1, unused, x2);
  return {MaxStep(MaxStep(x0, x1), x2), MaskOr(Unordered(x0, x1), Unordered(x2, x2))};
}
static inline __attribute__((always_inline)) void Fold(MaxAcc<VFloat>& a, const RowMax& r) {
  a.acc = MaxStep(a.acc, r.value);
  a.sawNan = MaskOr(a.sawNan, r.nan);
}
static inline __attribute__((always_inline)) MaxAcc<VFloat> FoldRowsThreeWide(
    const float* p, int64_t inW, int64_t ya, int64_t yb) {
  MaxAcc<VFloat> a = Max().Start<VFloat>();
  for (int64_t y = ya; y < yb; ++y) Fold(a, FoldRowThreeWide(p + y * inW));
  return a;
}

// The outputs [from, to) of one output row (kRows > 0: that many window rows
// from `top`; 0: `rows` of them), or with kPair of two output rows whose
// three-row windows share the middle input row (row 2 from top), kLanes at a
// time, the last group ending at `to`. to − from >= kLanes.
template <int kRows, bool kPair = false>
static inline __attribute__((always_inline)) void MaxGroupsThreeWide(const float* top, int64_t inW,
                                                                     int64_t rows, float* out,
                                                                     float* out2, int32_t from,
                                                                     int32_t to) {
  auto group = [&](int32_t ox) {
    const float* q = top + 2 * int64_t(ox);
    MaxAcc<VFloat> a = Max().Start<VFloat>();
    if constexpr (kPair) {
      MaxAcc<VFloat> b = a;
      Fold(a, FoldRowThreeWide(q));
      Fold(a, FoldRowThreeWide(q + inW));
      const RowMax shared = FoldRowThreeWide(q + 2 * inW);
      Fold(a, shared);
      Fold(b, shared);
      Fold(b, FoldRowThreeWide(q + 3 * inW));
      Fold(b, FoldRowThreeWide(q + 4 * inW));
      Store(out2 + ox, InOutputOrder<2>(Max().Finish(b, 0.0f)));
    } else if constexpr (kRows > 0) {
      for (int i = 0; i < kRows; ++i) Fold(a, FoldRowThreeWide(q + i * inW));
    } else {
      for (int64_t i = 0; i < rows; ++i) Fold(a, FoldRowThreeWide(q + i * inW));
    }
    Store(out + ox, InOutputOrder<2>(Max().Finish(a, 0.0f)));
  };
  int32_t ox = from;
  for (; ox + kLanes <= to; ox += kLanes) group(ox);
  if (ox < to) group(to - kLanes);
}

// kLanes outputs whose windows start at p, p + stride, ...: rows [ya, yb).
template <int kStride, class Op>
static inline auto FoldLanes(const float* p, int64_t inW, int64_t ya, int64_t yb, int32_t kW,
                               const Op& op) {
  if constexpr (Op::kRegroups && kStride == 2) {
    if (kW == 3) return FoldRowsThreeWide(p, inW, ya, yb);
  }
  auto acc = op.template Start<VFloat>();
  for (int64_t y = ya; y < yb; ++y) {
    const float* r = p + y * inW;
    if constexpr (kStride == 1) {
      for (int32_t kx = 0; kx < kW; ++kx) acc = op.Step(acc, Load<VFloat>(r + kx));
    } else {
      VFloat even, odd;
      int32_t kx = 0;
      for (; kx + 1 < kW; kx += 2) {
        LoadEvenOdd(r + kx, even, odd);
        acc = op.Step(op.Step(acc, even), odd);
      }
      if (kx < kW) {  // an odd window: its last column as the odd lanes one to the left
        if (kx > 0) {
          LoadEvenOdd(r + kx - 1, even, odd);
          acc = op.Step(acc, odd);
        } else {
          LoadEvenOdd(r, even, odd);
          acc = op.Step(acc, even);
        }
      }
    }
  }
  return acc;
}

template <class Op>
static inline auto FoldOne(const float* plane, int64_t inW, int64_t ya, int64_t yb, int64_t xa,
                            int64_t xb, const Op& op) {
  auto acc = op.template Start<float>();
  for (int64_t y = ya; y < yb; ++y) {
    const float* r = plane + y * inW;
    for (int64_t x = xa; x < xb; ++x) acc = op.Step(acc, r[x]);
  }
  return acc;
}

template <int kStride, class Op>
static inline void PoolRun(const Geometry& g, const float* plane, float* out, int64_t ya,
                           int64_t yb, int32_t first, int32_t last, const Op& op) {
  const int64_t rowsIn = yb - ya;
  // A group needs every window of its lanes inside the row; a stride-2 window
  // of one column reads one element further.
  [[maybe_unused]] const int64_t reach = int64_t(g.kW) - 1 + int64_t(kLanes - 1) * g.sW +
                        (kStride == 2 && g.kW == 1 ? 1 : 0);
  [[maybe_unused]] const float groupReciprocal = 1.0f / float(rowsIn * g.kW);
  for (int32_t ox = first; ox < last;) {
    const int64_t x0 = int64_t(ox) * g.sW - g.padLeft;
    if constexpr (kStride != 0) {
      auto inside = [&](int64_t start) { return start >= 0 && start + reach < g.inW; };
      if (last - ox >= kLanes && inside(x0)) {
        const auto acc = FoldLanes<kStride>(plane + x0, g.inW, ya, yb, g.kW, op);
        Store(out + ox, InOutputOrder<kStride>(op.Finish(acc, groupReciprocal)));
        ox += kLanes;
        continue;
      }
      // The last few outputs of a run: one group ending at the run's end, which
      // writes some outputs again with the same values.
      const int32_t start = last - kLanes;
      if (start >= first && start < ox && inside(int64_t(start) * g.sW - g.padLeft)) {
        const float* p = plane + (int64_t(start) * g.sW - g.padLeft);
        const auto acc = FoldLanes<kStride>(p, g.inW, ya, yb, g.kW, op);
        Store(out + start, InOutputOrder<kStride>(op.Finish(acc, groupReciprocal)));
        return;
      }
    }
    const int64_t xa = x0 > 0 ? x0 : 0, xb = x0 + g.kW < g.inW ? x0 + g.kW : g.inW;
    const int64_t colsIn = xb > xa ? xb - xa : 0;
    out[ox] = op.Finish(FoldOne(plane, g.inW, ya, yb, xa, xb, op), 1.0f / float(colsIn * rowsIn));
    ++ox;
  }
}

// One run of max pooling with three-wide, stride-2 windows: the clipped
// windows at the ends one at a time, the rest in groups. With `pair` the
// output row after it (its window three rows from ya + 2) comes along, over
// the whole width. False when no group fits in the run.
static inline bool MaxRunThreeWide(const Geometry& g, const float* in, float* out, int64_t ya,
                                   int64_t yb, int32_t first, int32_t last, bool pair) {
  // Outputs whose windows lie wholly inside the row: 0 <= 2·ox − padLeft and
  // 2·ox − padLeft + 2 < inW.
  const int64_t lo = (int64_t(g.padLeft) + 1) >> 1, hi = (int64_t(g.inW) + g.padLeft - 3) >> 1;
  const int32_t a = int32_t(lo > first ? (lo < last ? lo : last) : first);
  const int32_t b = int32_t(hi + 1 < last ? (hi + 1 > a ? hi + 1 : a) : last);
  if (b - a < kLanes) return false;
  float* const out2 = out + g.outW;
  auto single = [&](int32_t ox) {
    const int64_t x0 = 2 * int64_t(ox) - g.padLeft;
    const int64_t xa = x0 > 0 ? x0 : 0, xb = x0 + 3 < g.inW ? x0 + 3 : g.inW;
    out[ox] = Max().Finish(FoldOne(in, g.inW, ya, yb, xa, xb, Max()), 0.0f);
    if (pair) out2[ox] = Max().Finish(FoldOne(in, g.inW, ya + 2, ya + 5, xa, xb, Max()), 0.0f);
  };
  for (int32_t ox = first; ox < a; ++ox) single(ox);
  const float* top = in - g.padLeft + ya * g.inW;
  if (pair) MaxGroupsThreeWide<3, true>(top, g.inW, 3, out, out2, a, b);
  else if (yb - ya == 3) MaxGroupsThreeWide<3>(top, g.inW, 3, out, nullptr, a, b);
  else if (yb - ya == 2) MaxGroupsThreeWide<2>(top, g.inW, 2, out, nullptr, a, b);
  else MaxGroupsThreeWide<0>(top, g.inW, yb - ya, out, nullptr, a, b);
  for (int32_t ox = b; ox < last; ++ox) single(ox);
  return true;
}

template <class Op>
static inline void RunPool(const Pool2dJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const Geometry g{job->input, job->output, job->inH, job->inW, job->outH, job->outW,
                   job->kH,    job->kW,     job->sH,  job->sW,  job->padTop, job->padLeft};
  const Op op;
  // Max over 3 x 3 windows with stride 2 takes whole output rows in pairs where
  // both windows lie inside the input vertically: the row they share is
  // folded once.
  [[maybe_unused]] const bool threeWide = Op::kRegroups && g.sW == 2 && g.kW == 3;
  [[maybe_unused]] const bool pairs = threeWide && g.kH == 3 && g.sH == 2;
  auto runRow = [&](int64_t row, int32_t first, int32_t last, bool pair) {
    const int64_t plane = row / g.outH, oy = row - plane * g.outH;
    float* out = g.output + row * g.outW;
    const int64_t y0 = oy * g.sH - g.padTop;
    const int64_t ya = y0 > 0 ? y0 : 0, yb = y0 + g.kH < g.inH ? y0 + g.kH : g.inH;
    if (yb - ya < 1) {
      FillWords(out + first, Op::kEmptyRow, last - first);
      return;
    }
    const float* in = g.input + plane * g.inH * g.inW;
    if constexpr (Op::kRegroups) {
      if (threeWide && MaxRunThreeWide(g, in, out, ya, yb, first, last, pair)) return;
    }
    if (g.sW == 1) PoolRun<1>(g, in, out, ya, yb, first, last, op);
    else if (g.sW == 2) PoolRun<2>(g, in, out, ya, yb, first, last, op);
    else PoolRun<0>(g, in, out, ya, yb, first, last, op);
    if (pair) {  // no group fits: the second row on its own
      const int64_t yb2 = ya + 5 < g.inH ? ya + 5 : g.inH;
      PoolRun<2>(g, in, out + g.outW, ya + 2, yb2, first, last, op);
    }
  };
  // A whole row that may open a pair: the next one in the same plane, both
  // windows wholly inside vertically.
  auto opensPair = [&](int64_t row) {
    const int64_t oy = row % g.outH, y0 = oy * g.sH - g.padTop;
    return oy + 1 < g.outH && y0 >= 0 && y0 + 5 <= g.inH;
  };
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    int64_t pending = -1;  // a whole row held back to open a pair
    ForEachRow(begin, end, g.outW, [&](int64_t row, int32_t first, int32_t last) {
      const bool whole = first == 0 && last == g.outW;
      if (pending >= 0) {
        if (whole) {
          runRow(pending, 0, g.outW, true);
          pending = -1;
          return;
        }
        runRow(pending, 0, g.outW, false);
        pending = -1;
      }
      if (pairs && whole && opensPair(row)) pending = row;
      else runRow(row, first, last, false);
    });
    if (pending >= 0) runRow(pending, 0, g.outW, false);
  });
}

}  // namespace

VORTA_JOB_RUNNING(PoolAverage, Pool2dJob, RunPool<Average>)
VORTA_JOB_RUNNING(PoolMax, Pool2dJob, RunPool<Max>)

}  // namespace vorta::VORTA_NS
