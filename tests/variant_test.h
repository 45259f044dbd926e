// Shared by the kernel tests: a fixture parametrised over the instruction-set
// variant, job schedules, random inputs and bit-pattern float comparison.
#pragma once
#include <gtest/gtest.h>
#include <stdint.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "host/host.h"
#include "host/linked_module.h"

namespace vorta_test {

// Binds the linked library to the parameter's variant; AVX2 is skipped where
// the processor cannot run it.
class VariantTest : public ::testing::TestWithParam<vorta::CpuVariant> {
 protected:
  void SetUp() override {
    if (GetParam() == vorta::CpuVariant::Avx2 && !vorta::host::CanRunAvx2())
      GTEST_SKIP() << "this processor cannot run the AVX2 variant";
    vorta::host::InitializeLinked(GetParam());
  }
};

// A job schedule: workers, batch size, random and empty batches, and a seed
// that also decides whether workers are shuffled.
inline vorta::host::JobOptions Schedule(int workers, int32_t batchSize, bool random, bool empty,
                                        uint64_t seed) {
  vorta::host::JobOptions o;
  o.workers = workers;
  o.batchSize = batchSize;
  o.randomBatchSizes = random;
  o.emptyBatches = empty;
  o.seed = seed;
  o.shuffleWorkers = (seed & 1) != 0;
  return o;
}

inline std::string VariantParamName(const ::testing::TestParamInfo<vorta::CpuVariant>& info) {
  return vorta::host::VariantName(info.param);
}

#define VORTA_INSTANTIATE_VARIANTS(prefix, fixture)                                   \
  INSTANTIATE_TEST_SUITE_P(prefix, fixture,                                           \
                           ::testing::Values(vorta::CpuVariant::Sse2, vorta::CpuVariant::Avx2), \
                           ::vorta_test::VariantParamName)

// The same bits, or both NaN (NaN payloads depend on operand order).
inline bool SameFloat(float x, float y) {
  return (std::isnan(x) && std::isnan(y)) ||
         std::bit_cast<uint32_t>(x) == std::bit_cast<uint32_t>(y);
}

// Mostly uniform in [-1, 1); with `specials`, one in eight is NaN, an
// infinity, a signed zero, a subnormal or a value whose products overflow.
inline float RandomFloat(std::mt19937& rng, bool specials) {
  if (specials && rng() % 8 == 0) {
    constexpr float kInf = std::numeric_limits<float>::infinity();
    static const float kSpecial[] = {std::nanf(""), kInf, -kInf, 0.0f, -0.0f, 1e-40f, -3e-39f,
                                     3e30f, -2e25f, 1.0f};
    return kSpecial[rng() % (sizeof kSpecial / sizeof kSpecial[0])];
  }
  return std::uniform_real_distribution<float>(-1.0f, 1.0f)(rng);
}

}  // namespace vorta_test
