// Every job kernel gives the same bits however the host splits its work: one
// worker with one batch against 1, 2, 7 and 16 workers with fixed, random,
// single-element and empty batches and shuffled workers, on random records of
// each kernel's shape, on both variants. Every buffer lies against an
// inaccessible page while it runs.
#include <gtest/gtest.h>

#include "tests/kernel_cases.h"

namespace {

using kcases::Kernels;
using vorta_test::Schedule;

class SplitInvariance : public ::testing::TestWithParam<std::tuple<size_t, vorta::CpuVariant>> {};

std::vector<vorta::host::JobOptions> Splits(std::mt19937_64& rng) {
  const int32_t fixed = 1 + int32_t(rng() % 13);
  return {Schedule(1, 1, false, false, 2),         Schedule(2, fixed, false, false, 4),
          Schedule(2, fixed, true, true, 5),       Schedule(7, 1, false, true, 7),
          Schedule(7, fixed, true, false, 9),      Schedule(16, 1, false, false, 11),
          Schedule(16, fixed, true, true, 13),     Schedule(16, 3, false, true, 14)};
}

void CheckSplits(size_t index, vorta::CpuVariant variant, int rounds, int32_t size) {
  vorta::host::InitializeLinked(variant);
  const kcases::Kernel& k = Kernels()[index];
  std::mt19937_64 rng(0x5eed0000u + index + uint64_t(size) * 1000);
  int64_t nanSigns = 0;  // NaNs whose bits changed with the split
  for (int round = 0; round < rounds; ++round) {
    const kcases::Case c = k.make(rng, round == 0 ? 3 : size);
    vorta::host::JobOptions whole;
    whole.workers = 1;
    whole.batchSize = std::max(c.length, 1);
    const kcases::Result base = kcases::Run(k, c, whole, round % 2 == 0);
    ASSERT_TRUE(base.recordKept) << k.name << ": the record was written";
    for (const vorta::host::JobOptions& opt : Splits(rng)) {
      const kcases::Result r = kcases::Run(k, c, opt, round % 2 != 0);
      ASSERT_TRUE(kcases::SameOutputs(base, r, &nanSigns))
          << k.name << " " << c.text << ": " << opt.workers << " workers, batch "
          << opt.batchSize << (opt.randomBatchSizes ? " random" : "")
          << (opt.emptyBatches ? " with empty batches" : "")
          << (opt.shuffleWorkers ? ", shuffled" : "") << "; " << kcases::FirstDifference(base, r);
    }
  }
  if (nanSigns) printf("%s: %lld NaN results changed sign or payload with the split\n",
                       k.name.c_str(), static_cast<long long>(nanSigns));
}

TEST_P(SplitInvariance, SameBitsForEverySplit) {
  const auto [index, variant] = GetParam();
  if (variant == vorta::CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) GTEST_SKIP();
  CheckSplits(index, variant, 4, 300);
}

// The long sweep: many more records, up to a few thousand indices each.
TEST_P(SplitInvariance, LongManyLargerRecords) {
  const auto [index, variant] = GetParam();
  if (variant == vorta::CpuVariant::Avx2 && !vorta::host::CanRunAvx2()) GTEST_SKIP();
  CheckSplits(index, variant, 40, 5000);
}

INSTANTIATE_TEST_SUITE_P(
    Split, SplitInvariance,
    ::testing::Combine(::testing::Range<size_t>(0, Kernels().size()),
                       ::testing::Values(vorta::CpuVariant::Sse2, vorta::CpuVariant::Avx2)),
    [](const auto& info) {
      return Kernels()[std::get<0>(info.param)].name +
             (std::get<1>(info.param) == vorta::CpuVariant::Avx2 ? "_Avx2" : "_Sse2");
    });

}  // namespace
