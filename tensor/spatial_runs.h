// Shared by the spatial jobs (pooling, pad, resize, grid sampling): the walk of
// a batch in runs along the innermost output dimension, and short block copies
// and fills of 32-bit words.
#pragma once
#include <stdint.h>

#include "frame/simd.h"

namespace vorta::VORTA_NS {

// Splits the flat output indices [begin, end) into runs that each stay within
// one row of rowLength outputs: body(row, first, last) gets row number `row`
// and the columns [first, last). One division per batch; runs after the first
// start at column 0 of the next row.
template <class Body>
static inline __attribute__((always_inline)) void ForEachRow(int64_t begin, int64_t end,
                                                             int32_t rowLength, Body&& body) {
  int64_t row = begin / rowLength;
  int32_t first = static_cast<int32_t>(begin - row * rowLength);
  int64_t left = end - begin;
  while (left > 0) {
    const int64_t room = rowLength - first;
    const int32_t last = room < left ? rowLength : static_cast<int32_t>(first + left);
    body(row, first, last);
    left -= last - first;
    first = 0;
    ++row;
  }
}

// Copies n 32-bit words (no overlap). Rows inside a spatial job are short and
// start anywhere, so past one vector the stores are aligned: one unaligned
// head and tail vector, aligned vectors between them (a store split across
// two cache lines costs about two). Long runs go to memcpy.
static inline __attribute__((always_inline)) void CopyWords(void* dst, const void* src, int64_t n) {
  auto* d = static_cast<uint32_t*>(dst);
  const auto* s = static_cast<const uint32_t*>(src);
  constexpr int64_t L = kLanes;
  if (n < L) {
    for (int64_t i = 0; i < n; ++i) d[i] = s[i];
  } else if (n < 1024) {
    const VUint head = Load<VUint>(s), tail = Load<VUint>(s + n - L);
    Store(d, head);
    int64_t i = L - int64_t((reinterpret_cast<uintptr_t>(d) / 4) % L);
    if ((reinterpret_cast<uintptr_t>(d) & 3) == 0) {
      for (; i + L <= n; i += L) {
        const VUint v = Load<VUint>(s + i);
        __builtin_memcpy(__builtin_assume_aligned(d + i, L * 4), &v, sizeof v);
      }
    } else {
      for (i = L; i + L <= n; i += L) Store(d + i, Load<VUint>(s + i));
    }
    Store(d + n - L, tail);
  } else {
    __builtin_memcpy(d, s, size_t(n) * 4);
  }
}

// Writes the 32-bit pattern `value` n times.
static inline __attribute__((always_inline)) void FillWords(void* dst, uint32_t value, int64_t n) {
  auto* d = static_cast<uint32_t*>(dst);
  if (n >= kLanes) {
    const VUint v = Splat<VUint>(value);
    int64_t i = 0;
    for (; i + kLanes <= n; i += kLanes) Store(d + i, v);
    if (i < n) Store(d + n - kLanes, v);
  } else {
    for (int64_t i = 0; i < n; ++i) d[i] = value;
  }
}

// base[index[i]] in lane i: the AVX2 gather instruction, element loads on SSE2.
static inline __attribute__((always_inline)) VFloat GatherLanes(const float* base, VInt index) {
#if defined(VORTA_VARIANT_AVX2)
  return reinterpret_cast<VFloat>(
      _mm256_i32gather_ps(base, reinterpret_cast<__m256i>(index), 4));
#else
  return VFloat{base[index[0]], base[index[1]], base[index[2]], base[index[3]]};
#endif
}
static inline __attribute__((always_inline)) float GatherLanes(const float* base, int32_t index) {
  return base[index];
}

}  // namespace vorta::VORTA_NS
