// One kLanes x kLanes tile of 32-bit words transposed in registers: row q of
// the source tile (kLanes words at src + q * srcStride) becomes column q of
// the destination tile (rows at dst + p * dstStride).
#pragma once
#include <immintrin.h>
#include <stdint.h>

#include "frame/simd.h"

namespace vorta::VORTA_NS {

static inline __attribute__((always_inline)) void TransposeTile(const uint32_t* src,
                                                                int64_t srcStride, uint32_t* dst,
                                                                int64_t dstStride) {
#if defined(VORTA_VARIANT_AVX2)
  __m256 r[8], t[8];
  for (int q = 0; q < 8; ++q) r[q] = _mm256_loadu_ps(reinterpret_cast<const float*>(src + q * srcStride));
  for (int q = 0; q < 8; q += 2) {
    t[q] = _mm256_unpacklo_ps(r[q], r[q + 1]);
    t[q + 1] = _mm256_unpackhi_ps(r[q], r[q + 1]);
  }
  for (int q = 0; q < 8; q += 4) {
    r[q] = _mm256_shuffle_ps(t[q], t[q + 2], _MM_SHUFFLE(1, 0, 1, 0));
    r[q + 1] = _mm256_shuffle_ps(t[q], t[q + 2], _MM_SHUFFLE(3, 2, 3, 2));
    r[q + 2] = _mm256_shuffle_ps(t[q + 1], t[q + 3], _MM_SHUFFLE(1, 0, 1, 0));
    r[q + 3] = _mm256_shuffle_ps(t[q + 1], t[q + 3], _MM_SHUFFLE(3, 2, 3, 2));
  }
  for (int p = 0; p < 4; ++p) {
    t[p] = _mm256_permute2f128_ps(r[p], r[p + 4], 0x20);
    t[p + 4] = _mm256_permute2f128_ps(r[p], r[p + 4], 0x31);
  }
  for (int p = 0; p < 8; ++p) _mm256_storeu_ps(reinterpret_cast<float*>(dst + p * dstStride), t[p]);
#else
  __m128 r0 = _mm_loadu_ps(reinterpret_cast<const float*>(src));
  __m128 r1 = _mm_loadu_ps(reinterpret_cast<const float*>(src + srcStride));
  __m128 r2 = _mm_loadu_ps(reinterpret_cast<const float*>(src + 2 * srcStride));
  __m128 r3 = _mm_loadu_ps(reinterpret_cast<const float*>(src + 3 * srcStride));
  _MM_TRANSPOSE4_PS(r0, r1, r2, r3);
  _mm_storeu_ps(reinterpret_cast<float*>(dst), r0);
  _mm_storeu_ps(reinterpret_cast<float*>(dst + dstStride), r1);
  _mm_storeu_ps(reinterpret_cast<float*>(dst + 2 * dstStride), r2);
  _mm_storeu_ps(reinterpret_cast<float*>(dst + 3 * dstStride), r3);
#endif
}

// One 64-byte line of 16 words stored past the caches (dst 16-byte aligned,
// which is all the 16-byte streaming store needs in either variant).
static inline __attribute__((always_inline)) void StreamLine(uint32_t* dst, const uint32_t* src) {
  for (int q = 0; q < 16; q += 4)
    _mm_stream_ps(reinterpret_cast<float*>(dst + q), _mm_loadu_ps(reinterpret_cast<const float*>(src + q)));
}

// Orders the streamed stores before anything the caller does next.
static inline __attribute__((always_inline)) void StreamFence() { _mm_sfence(); }

}  // namespace vorta::VORTA_NS
