// Grid sampling through its exports, on both variants, with one and several
// workers, every padding mode, both sampling methods and both corner
// alignments. The oracle follows each output on its own from the definition:
// the padding transform (the remainder in double precision), unnormalising,
// rounding or flooring, clamping and the zeros rule, then the corners folded z,
// y, x in float, where a corner of weight exactly 0 whose value is not finite
// counts as 0.
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
const float kNaN = std::numeric_limits<float>::quiet_NaN();

struct Case {
  int dims, n, k, extent[3], s;  // extent: W, H, D
};
const Case kCases[] = {{2, 2, 3, {7, 5, 1}, 29},  {2, 1, 4, {1, 1, 1}, 9},   {2, 3, 2, {16, 3, 1}, 70},
                       {3, 2, 2, {4, 3, 5}, 23},  {3, 1, 3, {1, 6, 2}, 130}, {2, 1, 70, {3, 4, 1}, 5}};

float Fm(float a, float b) {
  if (std::fabs(a) < std::fabs(b)) return a;
  const double A = a, B = b;
  return float(A - std::trunc(A / B) * B);
}

int32_t ToInt(float r) { return std::fabs(r) < 2147483648.0f ? int32_t(r) : INT32_MIN; }

struct Params {
  int padding;
  bool linear, align;
};

float Unnormalise(float g, int extent, const Params& p) {
  if (p.padding == 1) g = std::isnan(g) ? 1.0f : std::max(std::min(g, 1.0f), -1.0f);
  if (p.padding == 2) g = std::fabs(Fm(Fm(g - 1.0f, 4.0f) + 4.0f, 4.0f) - 2.0f) - 1.0f;
  const float u = (g + 1.0f) * 0.5f;
  return p.align ? u * (float(extent) - 1.0f) : u * float(extent) - 0.5f;
}

float Ref(const Case& c, const Params& p, const std::vector<float>& in, const std::vector<float>& grid,
          int64_t i) {
  const int64_t s = i % c.s, ch = (i / c.s) % c.k, n = i / c.s / c.k;
  const int64_t planeSize = int64_t(c.extent[0]) * c.extent[1] * c.extent[2];
  const float* plane = in.data() + (n * c.k + ch) * planeSize;
  const float* g = grid.data() + (n * c.s + s) * c.dims;
  int32_t i0[3], i1[3];
  float f[3];
  for (int d = 0; d < c.dims; ++d) {
    const float u = Unnormalise(g[d], c.extent[d], p);
    if (p.linear) {
      const float fl = std::floor(u);
      i0[d] = ToInt(fl);
      i1[d] = i0[d] + 1;
      f[d] = u - fl;
    } else {
      i0[d] = ToInt(std::nearbyint(u));
    }
  }
  auto value = [&](const int32_t* idx, bool zeroWeight) {
    int64_t offset = 0, stride = 1;
    for (int d = 0; d < c.dims; ++d) {
      if (p.padding == 0 && (idx[d] < 0 || idx[d] >= c.extent[d])) return 0.0f;
      offset += std::max(std::min(idx[d], c.extent[d] - 1), 0) * stride;
      stride *= c.extent[d];
    }
    const float v = plane[offset];
    return zeroWeight && !std::isfinite(v) ? 0.0f : v;
  };
  if (!p.linear) return value(i0, false);
  float v[8];
  for (int corner = 0; corner < (1 << c.dims); ++corner) {
    int32_t idx[3];
    bool zero = false;
    for (int d = 0; d < c.dims; ++d) {
      const bool upper = (corner >> d) & 1;
      idx[d] = upper ? i1[d] : i0[d];
      zero |= upper && f[d] == 0.0f;
    }
    v[corner] = value(idx, zero);
  }
  for (int d = c.dims - 1; d >= 0; --d)
    for (int corner = 0; corner < (1 << d); ++corner)
      v[corner] = v[corner] * (1.0f - f[d]) + f[d] * v[corner + (1 << d)];
  return v[0];
}

// Mostly inside [-1.3, 1.3]; also pixel centres (zero weights), far outside,
// NaN and the infinities.
float GridValue(std::mt19937& rng, int extent) {
  switch (rng() % 10) {
    case 0: return (2.0f * float(rng() % extent) + 1.0f) / float(extent) - 1.0f;
    case 1: return extent > 1 ? 2.0f * float(rng() % extent) / float(extent - 1) - 1.0f : -1.0f;
    case 2: return float(int(rng() % 21) - 10) * 0.75f;
    case 3: {
      const float special[] = {kNaN, kInf, -kInf, 1.5f, -1.5f, 3.0f, -0.0f, 1e30f};
      return special[rng() % 8];
    }
    default: return std::uniform_real_distribution<float>(-1.3f, 1.3f)(rng);
  }
}

std::vector<float> Sample(const Case& c, const Params& p, const std::vector<float>& in,
                          const std::vector<float>& grid, const vorta::host::JobOptions& opt) {
  const int64_t count = int64_t(c.n) * c.k * c.s;
  Guarded out{size_t(count)};
  const int32_t planeSize = c.extent[0] * c.extent[1] * c.extent[2];
  auto* o = static_cast<float*>(out.data());
  if (c.dims == 2) {
    VortaGridSample2DJob job{in.data(), grid.data(), o, p.padding, 0, p.linear, p.align, {},
                             c.extent[1], c.extent[0], planeSize, 0, c.k, c.s};
    vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_GRIDSAMPLE_2D), &job, sizeof job,
                        int32_t(count), opt);
  } else {
    VortaGridSample3DJob job{in.data(), grid.data(), o, p.padding, 0, p.linear, p.align, {},
                             c.extent[2], c.extent[1], c.extent[0], planeSize, 0, c.k, c.s};
    vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_GRIDSAMPLE_3D), &job, sizeof job,
                        int32_t(count), opt);
  }
  EXPECT_TRUE(out.GuardsIntact());
  std::vector<float> r(static_cast<size_t>(count));
  for (size_t i = 0; i < r.size(); ++i) r[i] = out.floatAt(i);
  return r;
}

class GridSample : public vorta_test::VariantTest {};

TEST_P(GridSample, EveryModeMatchesTheDefinition) {
  std::mt19937 rng(53);
  for (const Case& c : kCases) {
    const int64_t planeSize = int64_t(c.extent[0]) * c.extent[1] * c.extent[2];
    const auto in = vorta_test::RandomFloats(size_t(c.n * c.k * planeSize), rng, true);
    std::vector<float> grid(size_t(c.n) * c.s * c.dims);
    for (size_t i = 0; i < grid.size(); ++i) grid[i] = GridValue(rng, c.extent[i % c.dims]);
    for (int padding = 0; padding < 3; ++padding)
      for (bool linear : {false, true})
        for (bool align : {false, true}) {
          const Params p{padding, linear, align};
          for (const auto& opt : vorta_test::SpatialSchedules(rng())) {
            const auto got = Sample(c, p, in, grid, opt);
            for (size_t i = 0; i < got.size(); ++i) {
              const float want = Ref(c, p, in, grid, int64_t(i));
              ASSERT_TRUE(vorta_test::SameFloat(got[i], want))
                  << "case " << (&c - kCases) << " padding " << padding << " linear " << linear
                  << " align " << align << " output " << i << ": got " << got[i] << " want " << want;
            }
          }
        }
  }
}

// A point on a pixel next to an infinite one samples the pixel itself, not
// 0·inf = NaN; edges and ties follow the stated rules.
TEST_P(GridSample, DefinedValues) {
  const Case c{2, 1, 1, {3, 1, 1}, 4};
  const std::vector<float> in = {1.0f, kInf, 2.0f};
  const std::vector<float> grid = {-1.0f, 0.0f, 1.0f, 0.0f, 0.0f, 0.0f, 3.0f, 0.0f};
  const auto linear = Sample(c, {1, true, true}, in, grid, vorta_test::Schedule(1, 0, false, false, 1));
  EXPECT_EQ(linear, (std::vector<float>{1.0f, 2.0f, kInf, 2.0f}));
  // Nearest without alignment: g = -1/3 is u = 0.5 and rounds to 0; g = 1/3 is u = 1.5 and rounds to 2.
  const std::vector<float> ties = {-1.0f / 3.0f, 0.0f, 1.0f / 3.0f, 0.0f, 0.99f, 0.0f, -1.5f, 0.0f};
  const auto nearest = Sample(c, {0, false, false}, {1.0f, 5.0f, 2.0f}, ties,
                              vorta_test::Schedule(1, 0, false, false, 1));
  EXPECT_EQ(nearest, (std::vector<float>{1.0f, 2.0f, 2.0f, 0.0f}));
}

VORTA_INSTANTIATE_VARIANTS(Variants, GridSample);

}  // namespace
