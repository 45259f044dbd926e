// Average and max pooling through their exports, on both variants, with one
// and several workers. The oracle folds each output's clipped window in the
// stated order (rows top to bottom, left to right, starting from 0 or from
// -3.4028235e38), written from the definition: plain float sums are exact
// replays, and the max keeps a NaN once met.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "tests/spatial_test_util.h"
#include "vorta/vorta.h"

namespace {

using vorta_test::Guarded;
constexpr float kInf = std::numeric_limits<float>::infinity();

struct Shape {
  int planes, inH, inW, kH, kW, sH, sW, padTop, padLeft, outH, outW;
};

// Copies, strides 1, 2 and 3, windows past the input, rows wholly in the
// padding, odd sizes that leave group tails, windows larger than the input.
const Shape kShapes[] = {
    {2, 5, 7, 1, 1, 1, 1, 0, 0, 5, 7},       {3, 9, 11, 3, 3, 1, 1, 1, 1, 9, 11},
    {2, 13, 37, 3, 3, 2, 2, 1, 1, 7, 19},    {1, 8, 40, 2, 2, 2, 2, 0, 0, 4, 20},
    {2, 6, 33, 1, 1, 2, 2, 0, 0, 3, 17},     {1, 7, 30, 4, 5, 3, 3, 2, 2, 4, 11},
    {2, 5, 25, 3, 3, 1, 1, 4, 0, 8, 23},     {1, 4, 4, 6, 6, 1, 1, 2, 2, 3, 3},
    {3, 3, 50, 2, 7, 1, 2, -1, 3, 3, 27},    {1, 1, 64, 1, 9, 1, 1, 0, 4, 2, 64},
};

uint32_t Ref(const std::vector<float>& in, const Shape& s, bool max, int e) {
  const int ox = e % s.outW, oy = (e / s.outW) % s.outH, plane = e / (s.outW * s.outH);
  const int y0 = oy * s.sH - s.padTop, x0 = ox * s.sW - s.padLeft;
  const int ya = std::max(y0, 0), yb = std::min(y0 + s.kH, s.inH);
  const int xa = std::max(x0, 0), xb = std::min(x0 + s.kW, s.inW);
  if (!max && yb - ya < 1) return 0xffc00000u;
  float acc = max ? -3.4028235e38f : 0.0f;
  bool sawNan = false;
  for (int y = ya; y < yb; ++y)
    for (int x = xa; x < xb; ++x) {
      const float v = in[(size_t(plane) * s.inH + y) * s.inW + x];
      sawNan |= std::isnan(v);
      if (max) acc = acc > v ? acc : v;
      else acc += v;
    }
  if (max) return sawNan && !std::isnan(acc) ? 0xffc00000u : std::bit_cast<uint32_t>(acc);
  return std::bit_cast<uint32_t>(acc * (1.0f / float(std::max(xb - xa, 0) * (yb - ya))));
}

std::vector<uint32_t> Pool(const char* entry, const std::vector<float>& in, const Shape& s,
                          const vorta::host::JobOptions& opt) {
  const int count = s.planes * s.outH * s.outW;
  Guarded out(count);
  VortaPool2dJob job{in.data(), static_cast<float*>(out.data()), s.inH, s.inW, s.outH,    s.outW,
                     s.kH,      s.kW,                         s.sH,  s.sW,  s.padTop, s.padLeft};
  vorta::host::RunJob(vorta::host::LinkedJob(entry), &job, sizeof job, count, opt);
  EXPECT_TRUE(out.GuardsIntact());
  return {out.words.begin() + Guarded::kGuard, out.words.end() - Guarded::kGuard};
}

class Pooling : public vorta_test::VariantTest {};

TEST_P(Pooling, MatchesTheWindowFoldOnEveryShape) {
  std::mt19937 rng(11);
  for (const Shape& s : kShapes) {
    const auto in = vorta_test::RandomFloats(size_t(s.planes) * s.inH * s.inW, rng, true);
    for (bool max : {false, true}) {
      const char* entry = max ? VORTA_EXPORT_POOLING_MAX : VORTA_EXPORT_POOLING_AVERAGE;
      for (const auto& opt : vorta_test::SpatialSchedules(rng())) {
        const auto got = Pool(entry, in, s, opt);
        for (size_t e = 0; e < got.size(); ++e) {
          const uint32_t want = Ref(in, s, max, int(e));
          ASSERT_TRUE(max ? got[e] == want
                          : vorta_test::SameFloat(std::bit_cast<float>(got[e]), std::bit_cast<float>(want)))
              << (max ? "max" : "average") << " shape " << (&s - kShapes) << " output " << e
              << ": got " << std::bit_cast<float>(got[e]) << " want " << std::bit_cast<float>(want);
        }
      }
    }
  }
}

// A NaN in mid-window stays NaN (the bare fold would give -inf here); a window
// of -inf gives the identity; an empty row is the default NaN (average) or the
// identity (max); the corner of a padded 3 x 3 window divides by 4.
TEST_P(Pooling, DefinedValues) {
  const float nan = std::numeric_limits<float>::quiet_NaN();
  const Shape row{1, 1, 3, 1, 3, 1, 1, 0, 0, 1, 1};
  EXPECT_TRUE(std::isnan(std::bit_cast<float>(
      Pool(VORTA_EXPORT_POOLING_MAX, {7.0f, nan, -kInf}, row, vorta_test::Schedule(1, 0, false, false, 1))[0])));
  const float payload = std::bit_cast<float>(0x7fc01234u);
  EXPECT_EQ(Pool(VORTA_EXPORT_POOLING_MAX, {1.0f, 2.0f, payload}, row,
                 vorta_test::Schedule(1, 0, false, false, 1))[0],
            0x7fc01234u);
  EXPECT_EQ(Pool(VORTA_EXPORT_POOLING_MAX, {payload, 2.0f, 1.0f}, row,
                 vorta_test::Schedule(1, 0, false, false, 1))[0],
            0xffc00000u);
  EXPECT_EQ(Pool(VORTA_EXPORT_POOLING_MAX, {-kInf, -kInf, -kInf}, row,
                vorta_test::Schedule(1, 0, false, false, 1))[0],
            0xff7fffffu);
  const Shape empty{1, 2, 2, 1, 1, 1, 1, 5, 0, 1, 2};
  const auto avg = Pool(VORTA_EXPORT_POOLING_AVERAGE, {1, 2, 3, 4}, empty, vorta_test::Schedule(1, 0, false, false, 1));
  EXPECT_EQ(avg[0], 0xffc00000u);
  EXPECT_EQ(avg[1], 0xffc00000u);
  EXPECT_EQ(Pool(VORTA_EXPORT_POOLING_MAX, {1, 2, 3, 4}, empty, vorta_test::Schedule(1, 0, false, false, 1))[1],
            0xff7fffffu);
  const Shape corner{1, 3, 3, 3, 3, 1, 1, 1, 1, 3, 3};
  const auto c = Pool(VORTA_EXPORT_POOLING_AVERAGE, {1, 2, 3, 4, 5, 6, 7, 8, 9}, corner,
                     vorta_test::Schedule(1, 0, false, false, 1));
  EXPECT_EQ(std::bit_cast<float>(c[0]), 12.0f * 0.25f);
  EXPECT_EQ(std::bit_cast<float>(c[4]), 45.0f * (1.0f / 9.0f));
}

VORTA_INSTANTIATE_VARIANTS(Variants, Pooling);

}  // namespace
