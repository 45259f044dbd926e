// The counter-based generator of the random jobs: element i derives its own
// state from (seed, i), so a random tensor never depends on how the host
// splits the work into batches or workers.
#pragma once
#include <stdint.h>
#include <string.h>

namespace vorta {

// The generator state of element `index` under `seed`.
static inline uint32_t IndexRandomState(uint32_t seed, uint32_t index) {
  uint32_t n = index + seed;
  uint32_t v = n == 0xFFFFFFFFu ? 0x8000003Du : n + 62u;
  v = (v ^ 61u) ^ (v >> 16);
  v = v * 9u;
  v = v ^ (v >> 4);
  v = v * 0x27D4EB2Du;
  v = v ^ (v >> 15);
  return v;
}

// One xorshift step.
static inline uint32_t IndexRandomNext(uint32_t s) {
  s ^= s << 13;
  s ^= s >> 17;
  s ^= s << 5;
  return s;
}

// The uniform float in [0, 1) that a state stands for (23 random bits).
static inline float IndexRandomUniform(uint32_t s) {
  uint32_t bits = 0x3F800000u | (s >> 9);
  float f;
  memcpy(&f, &bits, sizeof f);
  return f - 1.0f;
}

// U1: the uniform float one step after the hash.
static inline float IndexRandomU1(uint32_t seed, uint32_t index) {
  return IndexRandomUniform(IndexRandomNext(IndexRandomState(seed, index)));
}

}  // namespace vorta
