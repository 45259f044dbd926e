// Floor, ceiling, truncation and round-half-to-even on float lanes, with the
// results of floorf, ceilf, truncf and rintf (round-to-nearest): NaN, infinities
// and magnitudes of at least 2^23 pass unchanged, and a zero result keeps the
// sign of the input. Built on truncating conversion and exact float arithmetic,
// so they are the same in both variants and do not depend on the rounding mode
// the host may have set.
#pragma once
#include "frame/simd.h"

namespace vorta::VORTA_NS {

template <class L>
static inline __attribute__((always_inline)) MaskOf<L> BelowTwoPow23(L x) {
  return Abs(x) < Splat<L>(8388608.0f);
}

template <class L>
static inline __attribute__((always_inline)) L Trunc(L x) {
  L t = CopySign(ToFloat(TruncToInt(x)), x);
  return Select(BelowTwoPow23(x), t, x);
}

template <class L>
static inline __attribute__((always_inline)) L Floor(L x) {
  L t = ToFloat(TruncToInt(x));
  L r = t - Select(t > x, Splat<L>(1.0f), Splat<L>(0.0f));
  return Select(BelowTwoPow23(x), CopySign(r, x), x);
}

template <class L>
static inline __attribute__((always_inline)) L Ceil(L x) {
  L t = ToFloat(TruncToInt(x));
  L r = t + Select(t < x, Splat<L>(1.0f), Splat<L>(0.0f));
  return Select(BelowTwoPow23(x), CopySign(r, x), x);
}

template <class L>
static inline __attribute__((always_inline)) L RoundHalfEven(L x) {
  IntOf<L> ti = TruncToInt(x);
  L t = ToFloat(ti);
  L a = Abs(x - t);  // the dropped fraction, exact below 2^23
  auto odd = (ti & Splat<IntOf<L>>(1)) != Splat<IntOf<L>>(0);
  auto up = MaskOr(a > Splat<L>(0.5f), MaskAnd(a == Splat<L>(0.5f), odd));
  L r = t + Select(up, CopySign(Splat<L>(1.0f), x), Splat<L>(0.0f));
  return Select(BelowTwoPow23(x), CopySign(r, x), x);
}

}  // namespace vorta::VORTA_NS
