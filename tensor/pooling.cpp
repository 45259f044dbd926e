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

// kLanes outputs whose windows start at p, p + stride, ...: rows [ya, yb).
template <int kStride, class Op>
static inline auto FoldLanes(const float* p, int64_t inW, int64_t ya, int64_t yb, int32_t kW,
                               const Op& op) {
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

template <class Op>
static inline void RunPool(const Pool2dJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const Geometry g{job->input, job->output, job->inH, job->inW, job->outH, job->outW,
                   job->kH,    job->kW,     job->sH,  job->sW,  job->padTop, job->padLeft};
  const Op op;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    ForEachRow(begin, end, g.outW, [&](int64_t row, int32_t first, int32_t last) {
      const int64_t plane = row / g.outH, oy = row - plane * g.outH;
      float* out = g.output + row * g.outW;
      const int64_t y0 = oy * g.sH - g.padTop;
      const int64_t ya = y0 > 0 ? y0 : 0, yb = y0 + g.kH < g.inH ? y0 + g.kH : g.inH;
      if (yb - ya < 1) {
        FillWords(out + first, Op::kEmptyRow, last - first);
        return;
      }
      const float* in = g.input + plane * g.inH * g.inW;
      if (g.sW == 1) PoolRun<1>(g, in, out, ya, yb, first, last, op);
      else if (g.sW == 2) PoolRun<2>(g, in, out, ya, yb, first, last, op);
      else PoolRun<0>(g, in, out, ya, yb, first, last, op);
    });
  });
}

}  // namespace

VORTA_JOB_RUNNING(PoolAverage, Pool2dJob, RunPool<Average>)
VORTA_JOB_RUNNING(PoolMax, Pool2dJob, RunPool<Max>)

}  // namespace vorta::VORTA_NS
