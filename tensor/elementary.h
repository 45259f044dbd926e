// The single-precision elementary functions every tensor kernel uses: SLEEF's
// exponential (1.0-ULP class), logarithm, sine, cosine, tangent, arc cosine and
// hyperbolic tangent (3.5-ULP class) and power (1.0-ULP class), plus this
// library's own SqrtKernel and RsqrtKernel.
//
// Each takes a lane type: a scalar float or a VFloat. The SSE2 variant calls the
// four-lane SLEEF forms, the AVX2 variant the eight-lane ones (which fuse
// multiply-add pairs). A scalar goes through the same vector form in lane 0, so
// the element-by-element tail of a kernel gives exactly what its blocked path
// gives; the scalar SLEEF functions differ from the vector forms at rounding
// ties, and the vector behaviour is the rule.
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
VORTA_SLEEF_1(acos, u35)
VORTA_SLEEF_1(tanh, u35)
VORTA_SLEEF_2(pow, u10)
}  // namespace sleef

#undef VORTA_SLEEF_1
#undef VORTA_SLEEF_2

template <class L> static inline __attribute__((always_inline)) L ExpKernel(L x) { return sleef::exp(x); }
template <class L> static inline __attribute__((always_inline)) L LogKernel(L x) { return sleef::log(x); }
template <class L> static inline __attribute__((always_inline)) L SinKernel(L x) { return sleef::sin(x); }
template <class L> static inline __attribute__((always_inline)) L CosKernel(L x) { return sleef::cos(x); }
template <class L> static inline __attribute__((always_inline)) L TanKernel(L x) { return sleef::tan(x); }
template <class L> static inline __attribute__((always_inline)) L AcosKernel(L x) { return sleef::acos(x); }
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

}  // namespace vorta::VORTA_NS
