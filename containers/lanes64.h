// Unsigned 64-bit integer lanes for the hashing kernels: two per register in the
// SSE2 variant, four in the AVX2 variant. Only what the stripe accumulation and
// the scramble need; every operation wraps modulo 2^64 per lane.
#pragma once
#include <immintrin.h>
#include <stdint.h>

#include "frame/variant.h"

namespace vorta::VORTA_NS {

struct Lanes128 {
  typedef __m128i V;
  static constexpr int kBytes = 16;

  static inline __attribute__((always_inline)) V Load(const void* p) {
    return _mm_loadu_si128(static_cast<const __m128i*>(p));
  }
  static inline __attribute__((always_inline)) void Store(void* p, V v) {
    _mm_storeu_si128(static_cast<__m128i*>(p), v);
  }
  // Non-temporal store; p must be 16-byte aligned.
  static inline __attribute__((always_inline)) void Stream(void* p, V v) {
    _mm_stream_si128(static_cast<__m128i*>(p), v);
  }
  static inline __attribute__((always_inline)) V Splat(uint64_t x) {
    return _mm_set1_epi64x(static_cast<int64_t>(x));
  }
  static inline __attribute__((always_inline)) V Add(V a, V b) { return _mm_add_epi64(a, b); }
  static inline __attribute__((always_inline)) V Xor(V a, V b) { return _mm_xor_si128(a, b); }
  template <int n>
  static inline __attribute__((always_inline)) V ShiftRight(V a) { return _mm_srli_epi64(a, n); }
  template <int n>
  static inline __attribute__((always_inline)) V ShiftLeft(V a) { return _mm_slli_epi64(a, n); }
  // Low 32 bits of a times low 32 bits of b, a full 64-bit product per lane.
  static inline __attribute__((always_inline)) V MulLow32(V a, V b) { return _mm_mul_epu32(a, b); }
  // Lanes (0, 1) exchanged, within every 128-bit half.
  static inline __attribute__((always_inline)) V SwapPairs(V a) {
    return _mm_shuffle_epi32(a, _MM_SHUFFLE(1, 0, 3, 2));
  }
};

#if defined(VORTA_VARIANT_AVX2)
struct Lanes256 {
  typedef __m256i V;
  static constexpr int kBytes = 32;

  static inline __attribute__((always_inline)) V Load(const void* p) {
    return _mm256_loadu_si256(static_cast<const __m256i*>(p));
  }
  static inline __attribute__((always_inline)) void Store(void* p, V v) {
    _mm256_storeu_si256(static_cast<__m256i*>(p), v);
  }
  // Two 16-byte non-temporal stores, so a destination needs 16-byte alignment only.
  static inline __attribute__((always_inline)) void Stream(void* p, V v) {
    __m128i* q = static_cast<__m128i*>(p);
    _mm_stream_si128(q, _mm256_castsi256_si128(v));
    _mm_stream_si128(q + 1, _mm256_extracti128_si256(v, 1));
  }
  static inline __attribute__((always_inline)) V Splat(uint64_t x) {
    return _mm256_set1_epi64x(static_cast<int64_t>(x));
  }
  static inline __attribute__((always_inline)) V Add(V a, V b) { return _mm256_add_epi64(a, b); }
  static inline __attribute__((always_inline)) V Xor(V a, V b) { return _mm256_xor_si256(a, b); }
  template <int n>
  static inline __attribute__((always_inline)) V ShiftRight(V a) { return _mm256_srli_epi64(a, n); }
  template <int n>
  static inline __attribute__((always_inline)) V ShiftLeft(V a) { return _mm256_slli_epi64(a, n); }
  static inline __attribute__((always_inline)) V MulLow32(V a, V b) {
    return _mm256_mul_epu32(a, b);
  }
  static inline __attribute__((always_inline)) V SwapPairs(V a) {
    return _mm256_shuffle_epi32(a, _MM_SHUFFLE(1, 0, 3, 2));
  }
};
typedef Lanes256 Lanes64;
#else
typedef Lanes128 Lanes64;
#endif

}  // namespace vorta::VORTA_NS
