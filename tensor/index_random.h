// The counter-based generator of the random jobs: element i derives its own
// state from (seed, i), so a random tensor never depends on how the host
// splits the work into batches or workers.
//
// Every step is written once over an unsigned lane type U: a scalar uint32_t,
// or a vector of uint32 lanes holding consecutive indices (the blocked form of
// the uniform and Bernoulli jobs). Only wrapping 32-bit arithmetic, shifts and
// selects are used, so every lane gives exactly the scalar result.
#pragma once
#include <stdint.h>
#include <string.h>

namespace vorta {

// The float lane type with U's lane count.
template <class U> struct IndexRandomFloat;
template <> struct IndexRandomFloat<uint32_t> { typedef float type; };
template <class U> struct IndexRandomFloat {
  typedef float type __attribute__((vector_size(sizeof(U))));
};

// The generator state of element `index` under `seed`.
template <class U>
static inline __attribute__((always_inline)) U IndexRandomState(uint32_t seed, U index) {
  const U n = index + seed;
  U v;
  if constexpr (sizeof(U) == 4) {
    v = n == 0xFFFFFFFFu ? 0x8000003Du : n + 62u;
  } else {
    const U wrapped = n == 0xFFFFFFFFu;  // all ones where n is the last index
    v = ((n + 62u) & ~wrapped) | ((U{} + 0x8000003Du) & wrapped);
  }
  v = (v ^ 61u) ^ (v >> 16);
  v = v * 9u;
  v = v ^ (v >> 4);
  v = v * 0x27D4EB2Du;
  v = v ^ (v >> 15);
  return v;
}

// One xorshift step.
template <class U>
static inline __attribute__((always_inline)) U IndexRandomNext(U s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

// The uniform float in [0, 1) that a state stands for (23 random bits).
template <class U>
static inline __attribute__((always_inline)) typename IndexRandomFloat<U>::type IndexRandomUniform(U s) {
  typedef typename IndexRandomFloat<U>::type F;
  const U bits = (s >> 9) | 0x3F800000u;
  F f;
  memcpy(&f, &bits, sizeof f);
  return f - 1.0f;
}

// U1: the uniform float one step after the hash.
template <class U>
static inline __attribute__((always_inline)) typename IndexRandomFloat<U>::type IndexRandomU1(uint32_t seed, U index) {
  return IndexRandomUniform(IndexRandomNext(IndexRandomState(seed, index)));
}

}  // namespace vorta
