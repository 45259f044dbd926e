// Element operations of the activations that more than one family applies:
// the map jobs run them over spans, the recurrent cell step over its gate
// buffers. Each is written once over a lane type (a float or a VFloat) and
// names its element types for the map loops.
#pragma once
#include "frame/simd.h"
#include "tensor/elementary.h"
#include "tensor/map_records.h"

namespace vorta::VORTA_NS {

template <class In_, class Out_>
struct Map {
  typedef In_ In;
  typedef Out_ Out;
  Map() = default;
  template <class Job>
  explicit Map(const Job*) {}
};
using FloatMap = Map<float, float>;

template <class T>
static inline T Param(uint32_t bits) {
  return Bits<T>(bits);
}

// max(x, 0) with +0 for -0 and NaN kept. The textbook (|x| + x) / 2 overflows
// for x >= 2^127 and gives NaN at -inf.
struct Relu : FloatMap {
  using FloatMap::FloatMap;
  template <class L> L operator()(L x) const {
    return Select(MaskOr(x > Splat<L>(0.0f), IsNan(x)), x, Splat<L>(0.0f));
  }
};

// p0 * x + p1 * |x|. Where the two products overflow in opposite directions the
// sum would be inf - inf; the slope of x's side, (p0 ± p1) * x, is taken instead.
struct TwoSlope : FloatMap {
  float p0, p1;
  TwoSlope(float a, float b) : p0(a), p1(b) {}
  explicit TwoSlope(const UnaryMapJob* job) : TwoSlope(Param<float>(job->param0), Param<float>(job->param1)) {}
  template <class L> L operator()(L x) const {
    const L a = Splat<L>(p0), b = Splat<L>(p1);
    L r = a * x + b * Abs(x);
    auto broken = MaskAnd(IsNan(r), MaskNot(MaskOr(IsNan(x), MaskOr(IsNan(a), IsNan(b)))));
    L slope = a + Select(x > Splat<L>(0.0f), b, -b);
    L side = Select(slope == Splat<L>(0.0f), Splat<L>(0.0f), slope * x);
    return Select(broken, side, r);
  }
};

// x above the threshold (or at it, with kAtThreshold), else 0.
template <bool kAtThreshold>
struct ThresholdRelu : FloatMap {
  float p0;
  explicit ThresholdRelu(float threshold) : p0(threshold) {}
  explicit ThresholdRelu(const UnaryMapJob* job) : p0(Param<float>(job->param0)) {}
  template <class L> L operator()(L x) const {
    const auto keep = kAtThreshold ? x >= Splat<L>(p0) : x > Splat<L>(p0);
    return Select(keep, x, Splat<L>(0.0f));
  }
};
using ThresholdedRelu = ThresholdRelu<false>;

// Two roundings: multiply, then add.
struct Affine : FloatMap {
  float p0, p1;
  Affine(float a, float b) : p0(a), p1(b) {}
  explicit Affine(const UnaryMapJob* job) : Affine(Param<float>(job->param0), Param<float>(job->param1)) {}
  template <class L> L operator()(L x) const { return x * Splat<L>(p0) + Splat<L>(p1); }
};

// max(min(x·p0 + p1, 1), 0), the minimum taken as (v < 1) ? v : 1, so that a
// NaN becomes 1.
struct HardSigmoid : FloatMap {
  float p0, p1;
  HardSigmoid(float a, float b) : p0(a), p1(b) {}
  explicit HardSigmoid(const UnaryMapJob* job) : HardSigmoid(Param<float>(job->param0), Param<float>(job->param1)) {}
  template <class L> L operator()(L x) const {
    const L v = x * Splat<L>(p0) + Splat<L>(p1);
    return MaxStep(MinStep(v, Splat<L>(1.0f)), Splat<L>(0.0f));
  }
};

// tanh of x clamped to [-16, 16]: the minimum with 16 first (so NaN becomes 16),
// then the maximum with -16.
template <class L>
static inline __attribute__((always_inline)) L ClampedTanh(L x) {
  const L v = Select(x < Splat<L>(16.0f), x, Splat<L>(16.0f));
  return TanhKernel(Select(v > Splat<L>(-16.0f), v, Splat<L>(-16.0f)));
}

struct SigmoidOp : FloatMap {
  using FloatMap::FloatMap;
  template <class L> L operator()(L x) const { return Splat<L>(1.0f) / (ExpKernel(-x) + Splat<L>(1.0f)); }
};

// max(x, 0) + ln(1 + e^-|x|): x itself for large x, where ln(1 + e^x) overflows.
struct SoftplusOp : FloatMap {
  using FloatMap::FloatMap;
  template <class L> L operator()(L x) const {
    const L positive = Select(x > Splat<L>(0.0f), x, Splat<L>(0.0f));
    return positive + LogKernel(Splat<L>(1.0f) + ExpKernel(-Abs(x)));
  }
};

// The exponential linear unit with alpha; NaN fails x <= 0 and passes unchanged.
struct EluOp : FloatMap {
  float alpha;
  explicit EluOp(float a) : alpha(a) {}
  explicit EluOp(const UnaryMapJob* job) : alpha(Bits<float>(job->param0)) {}
  template <class L> L operator()(L x) const {
    const L negative = (ExpKernel(x) - Splat<L>(1.0f)) * Splat<L>(alpha);
    return Select(x <= Splat<L>(0.0f), negative, x);
  }
};

}  // namespace vorta::VORTA_NS
