// The single-precision elementary functions every tensor kernel uses: SLEEF's
// exponential (1.0-ULP class), logarithm, sine, cosine, tangent, arc sine, arc
// cosine, arc tangent and hyperbolic tangent (3.5-ULP class) and power (1.0-ULP
// class), plus this library's own SqrtKernel and RsqrtKernel.
//
// Each takes a lane type: a scalar float or a VFloat. The SSE2 variant calls the
// four-lane SLEEF forms, the AVX2 variant the eight-lane ones (which fuse
// multiply-add pairs). A scalar goes through the same vector form in lane 0, so
// the element-by-element tail of a kernel gives exactly what its blocked path
// gives (see ByReductionRange for the trigonometric functions); the scalar
// SLEEF functions differ from the vector forms at rounding ties, and the vector
// behaviour is the rule.
#pragma once
#include <sleef.h>

#include "frame/simd.h"

namespace vorta::VORTA_NS {

#if defined(VORTA_VARIANT_AVX2)
// Four-lane forms built for AVX2 (fused multiply-add), matching the eight-lane ones.
#define VORTA_SLEEF_1(name, acc)                                                             \
  static inline __attribute__((always_inline)) VFloat name(VFloat x) {                      \
    return reinterpret_cast<VFloat>(Sleef_##name##f8_##acc##avx2(reinterpret_cast<__m256>(x))); \
  }                                                                                         \
  static inline __attribute__((always_inline)) float name(float x) {                        \
    return _mm_cvtss_f32(Sleef_##name##f4_##acc##avx2128(_mm_set1_ps(x)));                  \
  }
#define VORTA_SLEEF_2(name, acc)                                                           \
  static inline __attribute__((always_inline)) VFloat name(VFloat x, VFloat y) {          \
    return reinterpret_cast<VFloat>(Sleef_##name##f8_##acc##avx2(                         \
        reinterpret_cast<__m256>(x), reinterpret_cast<__m256>(y)));                       \
  }                                                                                       \
  static inline __attribute__((always_inline)) float name(float x, float y) {             \
    return _mm_cvtss_f32(Sleef_##name##f4_##acc##avx2128(_mm_set1_ps(x), _mm_set1_ps(y))); \
  }
#else
#define VORTA_SLEEF_1(name, acc)                                                             \
  static inline __attribute__((always_inline)) VFloat name(VFloat x) {                      \
    return reinterpret_cast<VFloat>(Sleef_##name##f4_##acc##sse2(reinterpret_cast<__m128>(x))); \
  }                                                                                         \
  static inline __attribute__((always_inline)) float name(float x) {                        \
    return _mm_cvtss_f32(Sleef_##name##f4_##acc##sse2(_mm_set1_ps(x)));                     \
  }
#define VORTA_SLEEF_2(name, acc)                                                           \
  static inline __attribute__((always_inline)) VFloat name(VFloat x, VFloat y) {          \
    return reinterpret_cast<VFloat>(Sleef_##name##f4_##acc##sse2(                         \
        reinterpret_cast<__m128>(x), reinterpret_cast<__m128>(y)));                       \
  }                                                                                       \
  static inline __attribute__((always_inline)) float name(float x, float y) {             \
    return _mm_cvtss_f32(Sleef_##name##f4_##acc##sse2(_mm_set1_ps(x), _mm_set1_ps(y)));   \
  }
#endif

namespace sleef {
VORTA_SLEEF_1(exp, u10)
VORTA_SLEEF_1(log, u35)
VORTA_SLEEF_1(sin, u35)
VORTA_SLEEF_1(cos, u35)
VORTA_SLEEF_1(tan, u35)
VORTA_SLEEF_1(asin, u35)
VORTA_SLEEF_1(acos, u35)
VORTA_SLEEF_1(atan, u35)
VORTA_SLEEF_1(tanh, u35)
VORTA_SLEEF_2(pow, u10)
}  // namespace sleef

#undef VORTA_SLEEF_1
#undef VORTA_SLEEF_2

template <class L> static inline __attribute__((always_inline)) L ExpKernel(L x) { return sleef::exp(x); }
template <class L> static inline __attribute__((always_inline)) L LogKernel(L x) { return sleef::log(x); }
// One bit per lane of a mask, lane 0 in bit 0.
static inline __attribute__((always_inline)) int LaneBits(VInt m) {
#if defined(VORTA_VARIANT_AVX2)
  return _mm256_movemask_ps(reinterpret_cast<__m256>(m));
#else
  return _mm_movemask_ps(reinterpret_cast<__m128>(m));
#endif
}

// SLEEF's vector sine, cosine and tangent choose one argument reduction for the
// whole vector: the short one when every lane is below 125 (62.5 for the
// tangent), the medium one when every lane is below 39000, else the long one;
// their results can differ in the last bit. So that a lane's result depends on
// its own value alone (as on the element path, where all lanes are equal),
// lanes of different ranges go through separate calls, each with the other
// lanes replaced by a value of the same range. One call when all lanes share one.
template <class F>
static inline __attribute__((always_inline)) VFloat ByReductionRange(VFloat x, float shortEnd, F f) {
  const VFloat a = Abs(x);
  const VInt inShort = a < Splat<VFloat>(shortEnd);
  const VInt inMedium = MaskAnd(MaskNot(inShort), a < Splat<VFloat>(39000.0f));
  const VInt inLong = MaskNot(MaskOr(inShort, inMedium));  // NaN and inf too
  const bool anyShort = LaneBits(inShort) != 0, anyMedium = LaneBits(inMedium) != 0,
             anyLong = LaneBits(inLong) != 0;
  if (int(anyShort) + int(anyMedium) + int(anyLong) == 1) return f(x);
  VFloat r = x;
  if (anyShort) r = Select(inShort, f(Select(inShort, x, Splat<VFloat>(0.0f))), r);
  if (anyMedium) r = Select(inMedium, f(Select(inMedium, x, Splat<VFloat>(1000.0f))), r);
  if (anyLong) r = Select(inLong, f(Select(inLong, x, Splat<VFloat>(1e5f))), r);
  return r;
}

template <class L> static inline __attribute__((always_inline)) L SinKernel(L x) {
  if constexpr (std::is_same_v<L, float>) return sleef::sin(x);
  else return ByReductionRange(x, 125.0f, [](VFloat v) { return sleef::sin(v); });
}
template <class L> static inline __attribute__((always_inline)) L CosKernel(L x) {
  if constexpr (std::is_same_v<L, float>) return sleef::cos(x);
  else return ByReductionRange(x, 125.0f, [](VFloat v) { return sleef::cos(v); });
}
template <class L> static inline __attribute__((always_inline)) L TanKernel(L x) {
  if constexpr (std::is_same_v<L, float>) return sleef::tan(x);
  else return ByReductionRange(x, 62.5f, [](VFloat v) { return sleef::tan(v); });
}
template <class L> static inline __attribute__((always_inline)) L AsinKernel(L x) { return sleef::asin(x); }
template <class L> static inline __attribute__((always_inline)) L AcosKernel(L x) { return sleef::acos(x); }
template <class L> static inline __attribute__((always_inline)) L AtanKernel(L x) { return sleef::atan(x); }
template <class L> static inline __attribute__((always_inline)) L TanhKernel(L x) { return sleef::tanh(x); }
template <class L> static inline __attribute__((always_inline)) L PowKernel(L x, L y) { return sleef::pow(x, y); }

// The processor's reciprocal-square-root estimate (relative error at most 1.5 * 2^-12).
static inline __attribute__((always_inline)) float RsqrtEstimate(float x) {
  return _mm_cvtss_f32(_mm_rsqrt_ss(_mm_set_ss(x)));
}
static inline __attribute__((always_inline)) VFloat RsqrtEstimate(VFloat x) {
#if defined(VORTA_VARIANT_AVX2)
  return reinterpret_cast<VFloat>(_mm256_rsqrt_ps(reinterpret_cast<__m256>(x)));
#else
  return reinterpret_cast<VFloat>(_mm_rsqrt_ps(reinterpret_cast<__m128>(x)));
#endif
}

// 1/sqrt(v) as one Newton step on the estimate, r·(1.5 − 0.5·v·r²), rounded as
// (r·−0.5)·(v·r·r − 3). Zero and negative values give NaN. At +inf the estimate
// is 0 and the step would be inf·0, NaN; the true value +0 is returned instead.
// The estimate of a positive subnormal is +inf, which would make the step −inf:
// such a v is scaled by 2^24 first and the result by 2^12 (both exact).
template <class L>
static inline __attribute__((always_inline)) L RsqrtKernel(L v) {
  const auto tiny = v < Splat<L>(1.17549435e-38f);
  const L u = Select(tiny, v * Splat<L>(16777216.0f), v);
  const L r = RsqrtEstimate(u);
  const L y = (r * Splat<L>(-0.5f)) * (u * r * r - Splat<L>(3.0f));
  return Select(u == Splat<L>(__builtin_inff()), Splat<L>(0.0f),
                Select(tiny, y * Splat<L>(4096.0f), y));
}

// sqrt(s) as one Newton step on the reciprocal estimate, rounded as
// (s·r·r − 3)·(s·r·−0.5). Magnitudes below the smallest normal float give
// exactly +0 (the estimate of a subnormal overflows to inf), negative values
// NaN, and +inf gives +inf where the step alone would give inf·0, NaN.
template <class L>
static inline __attribute__((always_inline)) L SqrtKernel(L s) {
  const L r = RsqrtEstimate(s);
  const L sr = s * r;
  const L y = (sr * r - Splat<L>(3.0f)) * (sr * Splat<L>(-0.5f));
  const L finite = Select(s == Splat<L>(__builtin_inff()), s, y);
  return Select(Abs(s) < Splat<L>(1.17549435e-38f), Splat<L>(0.0f), finite);
}

}  // namespace vorta::VORTA_NS
