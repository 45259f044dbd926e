// Shared by the spatial job tests (pooling, pad, resize, grid sampling):
// outputs with guard cells, the schedules every job runs under, and random
// floats that include the special values.
#pragma once
#include <stdint.h>

#include <bit>
#include <random>
#include <vector>

#include "tests/variant_test.h"

namespace vorta_test {

// An output of n 32-bit words between guard cells that no job may touch.
struct Guarded {
  static constexpr int kGuard = 19;
  static constexpr uint32_t kPattern = 0xdeadbeefu;
  std::vector<uint32_t> words;
  explicit Guarded(size_t n) : words(n + 2 * kGuard, kPattern) {}
  void* data() { return words.data() + kGuard; }
  uint32_t at(size_t i) const { return words[kGuard + i]; }
  float floatAt(size_t i) const { return std::bit_cast<float>(at(i)); }
  size_t size() const { return words.size() - 2 * kGuard; }
  bool GuardsIntact() const {
    for (int i = 0; i < kGuard; ++i)
      if (words[i] != kPattern || words[words.size() - 1 - i] != kPattern) return false;
    return true;
  }
};

// One worker taking everything, and several with random, tiny and empty batches.
inline std::vector<vorta::host::JobOptions> SpatialSchedules(uint64_t seed) {
  std::mt19937_64 rng(seed);
  return {Schedule(1, 0, false, false, rng()), Schedule(3, 5, true, true, rng()),
          Schedule(2, 1 + int32_t(rng() % 97), true, false, rng())};
}

inline std::vector<float> RandomFloats(size_t n, std::mt19937& rng, bool specials) {
  std::vector<float> v(n);
  for (float& f : v) f = RandomFloat(rng, specials);
  return v;
}

}  // namespace vorta_test
