// Resize through its exports, on both variants: the table builders against
// tables written from their definition (float coordinate, floorf / ceilf,
// clamping), the nearest and linear jobs against a per-element replay of the
// stated formulas over those tables, and the upsampling against plain
// replication. Jobs run with one and several workers; guard cells surround
// every table area and output.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <random>
#include <vector>

#include "tests/spatial_test_util.h"
#include "vorta/vorta.h"

namespace {

using vorta_test::Guarded;

struct Dims {
  int dims, blocks;
  int in[3], out[3];
};
const Dims kDims[] = {{2, 3, {5, 7, 0}, {11, 13, 0}},   {2, 2, {9, 30, 0}, {4, 37, 0}},
                      {2, 1, {1, 1, 0}, {3, 300, 0}},   {3, 2, {3, 4, 5}, {7, 6, 11}},
                      {3, 1, {2, 9, 17}, {3, 5, 33}},  {2, 2, {6, 6, 0}, {6, 6, 0}}};

// Scales and offsets: enlarging and shrinking, half-pixel offsets that go
// negative, identity; or past the input (linear clamps both neighbours).
VortaResizeTableArgs ArgsFor(const Dims& d, std::mt19937& rng, int style, int32_t roundMode) {
  VortaResizeTableArgs a{};
  a.dims = d.dims;
  a.roundMode = roundMode;
  for (int i = 0; i < d.dims; ++i) {
    a.inSize[i] = d.in[i];
    a.outSize[i] = d.out[i];
    const float ratio = float(d.in[i]) / float(d.out[i]);
    switch (style) {
      case 0: a.scale[i] = 1.0f; a.offset[i] = 0.0f; break;
      case 1: a.scale[i] = ratio; a.offset[i] = 0.5f * ratio - 0.5f; break;
      case 2: a.scale[i] = ratio * (0.5f + float(rng() % 100) / 100.0f);
              a.offset[i] = float(int(rng() % 200) - 100) / 150.0f; break;
      default: a.scale[i] = 1.7f; a.offset[i] = 2.25f; break;
    }
  }
  return a;
}

int64_t Stride(const VortaResizeTableArgs& a, int i) {
  int64_t s = 1;
  for (int k = i + 1; k < a.dims; ++k) s *= a.inSize[k];
  return s;
}

float CoordinateRef(const VortaResizeTableArgs& a, int i, int j) {
  const float x = float(j) * a.scale[i] + a.offset[i];
  return x > 0.0f ? x : 0.0f;
}

std::vector<uint32_t> NearestRef(const VortaResizeTableArgs& a) {
  std::vector<uint32_t> t;
  for (int i = 0; i < a.dims; ++i)
    for (int j = 0; j < a.outSize[i]; ++j) {
      const float x = CoordinateRef(a, i, j);
      int64_t m = a.roundMode == 2 ? int64_t(std::floor(x)) : a.roundMode == 3 ? int64_t(std::ceil(x)) : 0;
      m = std::min<int64_t>(m, a.inSize[i] - 1);
      t.push_back(uint32_t(m <= 0 ? 0 : Stride(a, i) * m));
    }
  return t;
}

std::vector<uint32_t> LinearRef(const VortaResizeTableArgs& a) {
  std::vector<uint32_t> t;
  for (int i = 0; i < a.dims; ++i) {
    std::vector<uint32_t> lo, hi, frac;
    for (int j = 0; j < a.outSize[i]; ++j) {
      const float x = CoordinateRef(a, i, j);
      const int64_t last = a.inSize[i] - 1, h = std::min<int64_t>(int64_t(x), last);
      lo.push_back(uint32_t(Stride(a, i) * h));
      hi.push_back(uint32_t(Stride(a, i) * std::min(h + 1, last)));
      frac.push_back(std::bit_cast<uint32_t>(x - std::floor(x)));
    }
    for (auto* v : {&lo, &hi, &frac}) t.insert(t.end(), v->begin(), v->end());
  }
  return t;
}

std::vector<uint32_t> Build(const char* entry, VortaResizeTableArgs a, size_t words) {
  Guarded area(words);
  a.tables = area.data();
  reinterpret_cast<VortaResizeTableFn>(vorta::host::LinkedKernel(entry))(&a);
  EXPECT_TRUE(area.GuardsIntact());
  return {area.words.begin() + Guarded::kGuard, area.words.end() - Guarded::kGuard};
}

size_t Positions(const Dims& d) { return size_t(d.out[0]) + d.out[1] + (d.dims == 3 ? d.out[2] : 0); }
int64_t PlaneIn(const Dims& d) { return int64_t(d.in[0]) * d.in[1] * (d.dims == 3 ? d.in[2] : 1); }
int64_t PlaneOut(const Dims& d) { return int64_t(d.out[0]) * d.out[1] * (d.dims == 3 ? d.out[2] : 1); }

// The per-element formulas over the tables, for output index e.
uint32_t NearestJobRef(const Dims& d, const std::vector<uint32_t>& t, const std::vector<uint32_t>& in,
                       int64_t e) {
  const int64_t block = e / PlaneOut(d);
  int64_t off;
  if (d.dims == 2) {
    off = int32_t(t[(e / d.out[1]) % d.out[0]]) + int32_t(t[d.out[0] + e % d.out[1]]);
  } else {
    off = int32_t(t[(e / (d.out[1] * d.out[2])) % d.out[0]]) +
          int32_t(t[d.out[0] + (e / d.out[2]) % d.out[1]]) +
          int32_t(t[d.out[0] + d.out[1] + e % d.out[2]]);
  }
  return in[size_t(block * PlaneIn(d) + off)];
}

float LinearJobRef(const Dims& d, const std::vector<uint32_t>& t, const std::vector<float>& in,
                   int64_t e) {
  auto table = [&](int dim, int pos, int32_t& lo, int32_t& hi, float& w) {
    size_t base = 0;
    for (int k = 0; k < dim; ++k) base += 3 * size_t(d.out[k]);
    lo = int32_t(t[base + pos]);
    hi = int32_t(t[base + d.out[dim] + pos]);
    w = std::bit_cast<float>(t[base + 2 * d.out[dim] + pos]);
  };
  const float* p = in.data() + (e / PlaneOut(d)) * PlaneIn(d);
  int32_t ly, hy, lx, hx;
  float wy, wx;
  if (d.dims == 2) {
    table(0, int((e / d.out[1]) % d.out[0]), ly, hy, wy);
    table(1, int(e % d.out[1]), lx, hx, wx);
    const float top = p[ly + hx] * wx + p[ly + lx] * (1 - wx);
    return (((1 - wx) * p[hy + lx] - top) + wx * p[hy + hx]) * wy + top;
  }
  int32_t ld, hd;
  float wd;
  table(0, int((e / (d.out[1] * d.out[2])) % d.out[0]), ld, hd, wd);
  table(1, int((e / d.out[2]) % d.out[1]), ly, hy, wy);
  table(2, int(e % d.out[2]), lx, hx, wx);
  auto row = [&](int32_t slab, int32_t r) { return wx * p[slab + r + hx] + (1 - wx) * p[slab + r + lx]; };
  const float front = row(ld, ly) * (1 - wy) + row(ld, hy) * wy;
  return ((row(hd, ly) * (1 - wy) - front) + row(hd, hy) * wy) * wd + front;
}

template <class T>
std::vector<uint32_t> RunResize(const char* entry, const Dims& d, const std::vector<uint32_t>& tables,
                                const std::vector<T>& in, const vorta::host::JobOptions& opt) {
  const int64_t count = d.blocks * PlaneOut(d);
  Guarded out{size_t(count)};
  VortaResizeJob job{in.data(), tables.data(), out.data(), d.dims, int32_t(PlaneIn(d)),
                     d.out[0],  d.out[1],      d.out[2],   0};
  vorta::host::RunJob(vorta::host::LinkedJob(entry), &job, sizeof job, int32_t(count), opt);
  EXPECT_TRUE(out.GuardsIntact());
  return {out.words.begin() + Guarded::kGuard, out.words.end() - Guarded::kGuard};
}

class Resize : public vorta_test::VariantTest {};

TEST_P(Resize, TablesAndJobsMatchTheirDefinitions) {
  std::mt19937 rng(31);
  for (const Dims& d : kDims) {
    for (int style = 0; style < 4; ++style) {
      for (int32_t mode : {2, 3, 7}) {
        const auto a = ArgsFor(d, rng, style, mode);
        const auto t = Build(VORTA_EXPORT_RESIZE_NEAREST_TABLES, a, Positions(d));
        ASSERT_EQ(t, NearestRef(a)) << "nearest tables, case " << (&d - kDims) << " style " << style;
        std::vector<uint32_t> in(size_t(d.blocks * PlaneIn(d)));
        for (uint32_t& w : in) w = rng();
        for (const auto& opt : vorta_test::SpatialSchedules(rng())) {
          const auto got = RunResize(VORTA_EXPORT_RESIZE_NEAREST, d, t, in, opt);
          for (size_t e = 0; e < got.size(); ++e)
            ASSERT_EQ(got[e], NearestJobRef(d, t, in, int64_t(e))) << "nearest output " << e;
        }
      }
      const auto a = ArgsFor(d, rng, style, 0);
      const auto t = Build(VORTA_EXPORT_RESIZE_LINEAR_TABLES, a, 3 * Positions(d));
      ASSERT_EQ(t, LinearRef(a)) << "linear tables, case " << (&d - kDims) << " style " << style;
      const auto in = vorta_test::RandomFloats(size_t(d.blocks * PlaneIn(d)), rng, style != 2);
      for (const auto& opt : vorta_test::SpatialSchedules(rng())) {
        const auto got = RunResize(VORTA_EXPORT_RESIZE_LINEAR, d, t, in, opt);
        for (size_t e = 0; e < got.size(); ++e) {
          const float want = LinearJobRef(d, t, in, int64_t(e));
          ASSERT_TRUE(vorta_test::SameFloat(std::bit_cast<float>(got[e]), want))
              << "linear output " << e << " case " << (&d - kDims) << " style " << style << ": got "
              << std::bit_cast<float>(got[e]) << " want " << want;
        }
      }
    }
  }
}

TEST_P(Resize, RoundingModesOnOneAndAHalf) {
  VortaResizeTableArgs a{};
  a.dims = 2;
  a.inSize[0] = 4, a.inSize[1] = 6;
  a.outSize[0] = 1, a.outSize[1] = 1;
  a.scale[0] = a.scale[1] = 1.0f;
  a.offset[0] = a.offset[1] = 1.5f;
  a.roundMode = 2;
  EXPECT_EQ(Build(VORTA_EXPORT_RESIZE_NEAREST_TABLES, a, 2), (std::vector<uint32_t>{6, 1}));
  a.roundMode = 3;
  EXPECT_EQ(Build(VORTA_EXPORT_RESIZE_NEAREST_TABLES, a, 2), (std::vector<uint32_t>{12, 2}));
}

TEST_P(Resize, UpsampleReplicates) {
  std::mt19937 rng(41);
  for (int fy : {1, 2, 3})
    for (int fx : {1, 2, 3, 5})
      for (int inW : {1, 7, 20}) {
        const int rows = 5;
        std::vector<uint32_t> in(size_t(rows) * inW);
        for (uint32_t& w : in) w = rng();
        for (const auto& opt : vorta_test::SpatialSchedules(rng())) {
          Guarded out(in.size() * fx * fy);
          VortaUpsampleJob job{in.data(), out.data(), 0, inW, fy, fx};
          vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_RESIZE_UPSAMPLE), &job, sizeof job,
                              int32_t(in.size()), opt);
          ASSERT_TRUE(out.GuardsIntact());
          for (size_t o = 0; o < out.size(); ++o) {
            const size_t width = size_t(inW) * fx, row = o / width / fy, col = o % width / fx;
            ASSERT_EQ(out.at(o), in[row * inW + col]) << "fx " << fx << " fy " << fy << " at " << o;
          }
        }
      }
}

VORTA_INSTANTIATE_VARIANTS(Variants, Resize);

}  // namespace
