// Pad through its export, on both variants, with one and several workers. The
// oracle maps each output element's coordinates on its own (numpy-style, one
// dimension at a time) and reads the input through its strides; shapes of rank
// 1 to 8 with cropping, padding wider than the input and gapped strides.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "tests/spatial_test_util.h"
#include "vorta/vorta.h"

namespace {

using vorta_test::Guarded;

// The input coordinate of x in a dimension of extent n, or -1 for the value.
int64_t MapCoordinate(int64_t x, int64_t n, uint32_t mode) {
  if (x >= 0 && x < n) return x;
  switch (mode) {
    case 0: return -1;
    case 1: return x < 0 ? std::min(-x, n - 1) : std::max(2 * n - 2 - x, int64_t(0));
    case 2: return x < 0 ? 0 : n - 1;
    case 3: return x < 0 ? std::min(-x - 1, n - 1) : std::max(2 * n - 1 - x, int64_t(0));
    default: {
      int64_t r = x % n;
      return r < 0 ? r + n : r;
    }
  }
}

struct Case {
  VortaPadJob job;
  std::vector<uint32_t> input;
  int64_t count;
};

Case RandomCase(std::mt19937& rng, uint32_t mode) {
  Case c{};
  VortaPadJob& j = c.job;
  j.mode = mode;
  j.value = 0xabcd1234u;
  j.rank = 1 + int32_t(rng() % 8);
  int64_t span = 1;
  c.count = 1;
  for (int k = 0; k < j.rank; ++k) {
    const int maxIn = j.rank > 4 ? 3 : j.rank > 2 ? 5 : 12;
    j.inSize[k] = 1 + int32_t(rng() % maxIn);
    j.padBefore[k] = int32_t(rng() % 9) - 2;
    const int maxOut = j.rank > 4 ? 3 : j.rank > 2 ? 7 : 24;
    j.outSize[k] = std::clamp(j.inSize[k] + j.padBefore[k] + int32_t(rng() % 7) - 2, 1, maxOut);
    if (k > 0) j.inStride[k] = int32_t(span + int64_t(rng() % 3));  // gaps: never read
    span = k == 0 ? j.inSize[0] : int64_t(j.inStride[k]) * j.inSize[k];
    c.count *= j.outSize[k];
  }
  c.input.resize(size_t(span));
  for (uint32_t& w : c.input) w = rng();
  return c;
}

uint32_t Ref(const Case& c, int64_t e) {
  const VortaPadJob& j = c.job;
  int64_t offset = 0;
  for (int k = 0; k < j.rank; ++k) {
    const int64_t o = e % j.outSize[k];
    e /= j.outSize[k];
    const int64_t m = MapCoordinate(o - j.padBefore[k], j.inSize[k], j.mode);
    if (m < 0) return j.value;
    offset += m * (k == 0 ? 1 : j.inStride[k]);
  }
  return c.input[size_t(offset)];
}

std::vector<uint32_t> PadWith(Case& c, const vorta::host::JobOptions& opt, bool* guards) {
  Guarded out(size_t(c.count));
  c.job.input = c.input.data();
  c.job.output = out.data();
  vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_PAD), &c.job, sizeof c.job,
                      int32_t(c.count), opt);
  *guards = out.GuardsIntact();
  return {out.words.begin() + Guarded::kGuard, out.words.end() - Guarded::kGuard};
}

class Pad : public vorta_test::VariantTest {};

TEST_P(Pad, EveryModeMatchesTheCoordinateMaps) {
  std::mt19937 rng(23);
  for (int trial = 0; trial < 150; ++trial) {
    for (uint32_t mode = 0; mode < 5; ++mode) {
      Case c = RandomCase(rng, mode);
      for (const auto& opt : vorta_test::SpatialSchedules(rng())) {
        bool guards = false;
        const auto got = PadWith(c, opt, &guards);
        ASSERT_TRUE(guards);
        for (int64_t e = 0; e < c.count; ++e)
          ASSERT_EQ(got[size_t(e)], Ref(c, e)) << "trial " << trial << " mode " << mode << " rank "
                                               << c.job.rank << " output " << e;
      }
    }
  }
}

// [a, b, c] with two before and two after, in each mode.
TEST_P(Pad, ThreeElementRows) {
  const uint32_t want[5][7] = {{9, 9, 1, 2, 3, 9, 9},
                               {3, 2, 1, 2, 3, 2, 1},
                               {1, 1, 1, 2, 3, 3, 3},
                               {2, 1, 1, 2, 3, 3, 2},
                               {2, 3, 1, 2, 3, 1, 2}};
  for (uint32_t mode = 0; mode < 5; ++mode) {
    Case c{};
    c.input = {1, 2, 3};
    c.count = 7;
    c.job.mode = mode;
    c.job.value = 9;
    c.job.rank = 1;
    c.job.inSize[0] = 3;
    c.job.outSize[0] = 7;
    c.job.padBefore[0] = 2;
    bool guards = false;
    const auto got = PadWith(c, vorta_test::Schedule(1, 0, false, false, 1), &guards);
    EXPECT_TRUE(guards);
    EXPECT_EQ(got, std::vector<uint32_t>(want[mode], want[mode] + 7)) << "mode " << mode;
  }
}

TEST_P(Pad, UnknownModeWritesNothing) {
  std::mt19937 rng(5);
  Case c = RandomCase(rng, 5);
  bool guards = false;
  const auto got = PadWith(c, vorta_test::Schedule(2, 3, true, true, 4), &guards);
  EXPECT_TRUE(guards);
  for (uint32_t w : got) ASSERT_EQ(w, Guarded::kPattern);
}

VORTA_INSTANTIATE_VARIANTS(Variants, Pad);

}  // namespace
