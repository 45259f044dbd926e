// Runs of 32-bit words, the unit every data-movement job moves (float and
// int32 alike): strided copies with their block-copy and fill shortcuts, and
// the combine step of the scatters.
#pragma once
#include <stdint.h>

#include "frame/simd.h"

namespace vorta::VORTA_NS {

typedef uint32_t Word;

// n copies of one word.
static inline __attribute__((always_inline)) void FillWords(Word* dst, Word value, int64_t n) {
  const VUint v = Splat<VUint>(value);
  int64_t j = 0;
  for (; j + kLanes <= n; j += kLanes) Store(dst + j, v);
  for (; j < n; ++j) dst[j] = value;
}

// n words from src, moving by srcStep, to dst, moving by dstStep. Contiguous
// runs are one block move (the two may overlap); a fixed source is a fill.
static inline __attribute__((always_inline)) void CopyWords(Word* dst, int64_t dstStep,
                                                            const Word* src, int64_t srcStep,
                                                            int64_t n) {
  if (n <= 0) return;
  if (dstStep == 1 && srcStep == 1) {
    __builtin_memmove(dst, src, size_t(n) * 4);
  } else if (dstStep == 1 && srcStep == 0) {
    FillWords(dst, *src, n);
  } else if (dstStep == 1) {
    for (int64_t j = 0; j < n; ++j) dst[j] = src[j * srcStep];
  } else if (srcStep == 1) {
    for (int64_t j = 0; j < n; ++j) dst[j * dstStep] = src[j];
  } else {
    for (int64_t j = 0; j < n; ++j) dst[j * dstStep] = src[j * srcStep];
  }
}

// The scatter reductions. Float members combine in float, int32 members with
// wrapping arithmetic; replace stores the update's bits unchanged.
enum ScatterReduction : int32_t { kScatterReplace = 0, kScatterAdd = 1, kScatterMultiply = 2 };

template <class T, int32_t kReduction>
static inline __attribute__((always_inline)) void CombineWord(Word* target, Word update) {
  if constexpr (kReduction == kScatterReplace) {
    *target = update;
  } else {
    const T a = Bits<T>(*target), b = Bits<T>(update);
    T r;
    if constexpr (std::is_floating_point_v<T>) {
      r = kReduction == kScatterAdd ? a + b : b * a;
    } else {
      r = kReduction == kScatterAdd ? T(uint32_t(a) + uint32_t(b)) : WrapMul(b, a);
    }
    *target = Bits<Word>(r);
  }
}

// Calls body.template operator()<kReduction>() for the three reductions; any
// other value does nothing.
template <class Body>
static inline __attribute__((always_inline)) void WithReduction(int32_t reduction, Body&& body) {
  switch (reduction) {
    case kScatterReplace: body.template operator()<kScatterReplace>(); break;
    case kScatterAdd: body.template operator()<kScatterAdd>(); break;
    case kScatterMultiply: body.template operator()<kScatterMultiply>(); break;
    default: break;
  }
}

// A negative index wrapped once by the extent; false when it is still outside
// [0, extent).
static inline __attribute__((always_inline)) bool WrapIndex(int32_t raw, int32_t extent,
                                                            int64_t* index) {
  int64_t e = raw;
  if (e < 0) e += extent;
  *index = e;
  return e >= 0 && e < extent;
}

}  // namespace vorta::VORTA_NS
