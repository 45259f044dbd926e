// Floor, ceiling, truncation and round-half-to-even on float lanes, with the
// results of floorf, ceilf, truncf and rintf (round-to-nearest): NaN, infinities
// and magnitudes of at least 2^23 pass unchanged, and a zero result keeps the
// sign of the input. None depends on the rounding mode the host may have set in
// MXCSR. The AVX2 variant has SSE4.1's explicit-mode round instruction; the
// SSE2 variant builds them from truncating conversion and exact float
// arithmetic.
#pragma once
#include "frame/simd.h"

namespace vorta::VORTA_NS {

template <class L>
static inline __attribute__((always_inline)) MaskOf<L> BelowTwoPow23(L x) {
  return Abs(x) < Splat<L>(8388608.0f);
}

// True when the calling thread's MXCSR rounds to nearest (the default).
static inline bool ThreadRoundsToNearest() { return (_mm_getcsr() & 0x6000u) == 0; }

#if defined(VORTA_VARIANT_AVX2)

template <int Mode>
static inline __attribute__((always_inline)) float RoundWithMode(float x) {
  return _mm_cvtss_f32(_mm_round_ss(_mm_setzero_ps(), _mm_set_ss(x), Mode | _MM_FROUND_NO_EXC));
}
template <int Mode>
static inline __attribute__((always_inline)) VFloat RoundWithMode(VFloat x) {
  return reinterpret_cast<VFloat>(
      _mm256_round_ps(reinterpret_cast<__m256>(x), Mode | _MM_FROUND_NO_EXC));
}

// The instruction would quiet a signalling NaN, which must pass unchanged.
template <int Mode, class L>
static inline __attribute__((always_inline)) L RoundSmall(L x) {
  return Select(BelowTwoPow23(x), RoundWithMode<Mode>(x), x);
}

template <class L> static inline __attribute__((always_inline)) L Trunc(L x) { return RoundSmall<_MM_FROUND_TO_ZERO>(x); }
template <class L> static inline __attribute__((always_inline)) L Floor(L x) { return RoundSmall<_MM_FROUND_TO_NEG_INF>(x); }
template <class L> static inline __attribute__((always_inline)) L Ceil(L x) { return RoundSmall<_MM_FROUND_TO_POS_INF>(x); }
template <class L> static inline __attribute__((always_inline)) L RoundHalfEven(L x, bool = true) { return RoundSmall<_MM_FROUND_TO_NEAREST_INT>(x); }

#else

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

// The conversion that follows MXCSR: round half to even when the host left the
// default rounding mode in place, which RoundHalfEven checks first.
static inline __attribute__((always_inline)) int32_t ConvertToInt(float x) {
  return _mm_cvtss_si32(_mm_set_ss(x));
}
static inline __attribute__((always_inline)) VInt ConvertToInt(VFloat x) {
  return reinterpret_cast<VInt>(_mm_cvtps_epi32(reinterpret_cast<__m128>(x)));
}

// threadRoundsToNearest: ThreadRoundsToNearest() of the calling thread, read
// once per job call rather than per element.
template <class L>
static inline __attribute__((always_inline)) L RoundHalfEven(L x, bool threadRoundsToNearest) {
  if (__builtin_expect(threadRoundsToNearest, 1)) {
    return Select(BelowTwoPow23(x), CopySign(ToFloat(ConvertToInt(x)), x), x);
  }
  IntOf<L> ti = TruncToInt(x);
  L t = ToFloat(ti);
  L a = Abs(x - t);  // the dropped fraction, exact below 2^23
  auto odd = (ti & Splat<IntOf<L>>(1)) != Splat<IntOf<L>>(0);
  auto up = MaskOr(a > Splat<L>(0.5f), MaskAnd(a == Splat<L>(0.5f), odd));
  L r = t + Select(up, CopySign(Splat<L>(1.0f), x), Splat<L>(0.0f));
  return Select(BelowTwoPow23(x), CopySign(r, x), x);
}

#endif

}  // namespace vorta::VORTA_NS
