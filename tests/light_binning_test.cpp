// Light and box depth bounds and the screen-row binning, on both variants with
// several workers (private record copies for the binning, whose record holds
// working fields). Oracles: the stated cases exactly, and brute force: points
// sampled on every sphere, cone and box must have their view depth inside the
// reported bounds and their screen cell inside the reported row span, and each
// reported span must lie within one tile (plus a tenth of the shape's width,
// for the polygon that contains a cone) of the sampled shape, clamped to the
// grid.
#include <vorta/vorta.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "tests/scene_frame.h"
#include "tests/variant_test.h"

namespace {

using namespace scene_frame;
using vorta_test::Schedule;

class LightBinningTest : public vorta_test::VariantTest {};

std::vector<float> DepthBounds(const float views[2][16], const std::vector<VortaLightRecord>& lights,
                               int workers) {
  std::vector<float> out(4 * lights.size(), -1.0f);
  VortaLightDepthBoundsJob job{};
  std::memcpy(job.viewMatrices, views, sizeof job.viewMatrices);
  job.lights = lights.data(), job.lightCount = static_cast<int32_t>(lights.size());
  job.depthBounds = out.data();
  vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_LIGHT_BINNING_DEPTH_BOUNDS), &job,
                      sizeof job, 2 * job.lightCount, Schedule(workers, 3, true, true, 1));
  return out;
}

TEST_P(LightBinningTest, DepthBoundsOfTheStatedCases) {
  const float views[2][16] = {{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1},
                              {1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}};
  struct Case {
    VortaLightRecord light;
    float nearDepth, farDepth;
  } cases[] = {
      {MakeLight(2, {0, 0, -10}, {0, 0, 1}, 3, 0), 7, 13},
      {MakeLight(1, {0, 0, -1}, {0, 0, 1}, 3, 0), 0, 4},
      {MakeLight(2, {0, 0, 5}, {0, 0, 1}, 1, 0), 0, 0},      // behind the viewer
      {MakeLight(0, {0, 0, -10}, {0, 0, -1}, 3, 60), 10, 13},  // spot pointing away
      {MakeLight(0, {0, 0, -10}, {0, 0, 1}, 3, 60), 7.0f, 10},  // spot pointing back: cap at 7
  };
  std::vector<VortaLightRecord> lights;
  for (const Case& c : cases) lights.push_back(c.light);
  const std::vector<float> out = DepthBounds(views, lights, 2);
  for (size_t i = 0; i < lights.size(); ++i) {
    EXPECT_NEAR(out[2 * i], cases[i].nearDepth, 1e-5) << "light " << i;
    EXPECT_NEAR(out[2 * i + 1], cases[i].farDepth, 1e-5) << "light " << i;
  }
}

TEST_P(LightBinningTest, SampledLightsLieInsideTheirDepthBounds) {
  std::mt19937 rng(17);
  const Frame f(false);
  const std::vector<VortaLightRecord> lights = RandomLights(f, 301, rng);
  const std::vector<float> out = DepthBounds(f.views, lights, 3);
  for (int v = 0; v < 2; ++v)
    for (size_t i = 0; i < lights.size(); ++i) {
      const float lo = out[2 * (v * lights.size() + i)], hi = out[2 * (v * lights.size() + i) + 1];
      const double tol = 1e-4 * (30 + lights[i].range);
      for (int s = 0; s < 200; ++s) {
        const double d = std::max(0.0, -f.ToView(v, SampleLight(lights[i], rng)).z);
        ASSERT_LE(lo, d + tol) << "view " << v << " light " << i;
        ASSERT_GE(hi, d - tol) << "view " << v << " light " << i;
      }
    }
}

TEST_P(LightBinningTest, BoxDepthBounds) {
  std::mt19937 rng(4);
  const Frame f(false);
  std::vector<float> boxes = RandomBoxes(f, 37, rng);
  boxes[3] = boxes[4] = boxes[5] = 0.0f;       // zero extent: equal bounds
  boxes[6 * 5] = std::nanf("");                // NaN corners are ignored: all of them here
  std::vector<uint8_t> records(136 * 37, 0xcd);
  for (int j = 0; j < 37; ++j) std::memcpy(&records[136 * j], &boxes[6 * j], 24);
  std::vector<float> out(4 * 37);
  VortaDepthBoundsJob job{};
  std::memcpy(job.views, f.views, sizeof job.views);
  job.boxes = records.data(), job.boxCount = 37, job.output = out.data();
  vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_CONTRACTION_BOX_DEPTH_BOUNDS), &job,
                      sizeof job, 74, Schedule(3, 2, true, true, 3));
  for (int v = 0; v < 2; ++v)
    for (int j = 0; j < 37; ++j) {
      const float* b = &boxes[6 * j];
      double lo = 1e300, hi = -1e300;
      for (int c = 0; c < 8; ++c) {
        const D3 p{b[0] + ((c & 1) ? b[3] : -b[3]), b[1] + ((c & 2) ? b[4] : -b[4]),
                   b[2] + ((c & 4) ? b[5] : -b[5])};
        const double d = -f.ToView(v, p).z;
        lo = std::min(lo, d), hi = std::max(hi, d);
      }
      const float* o = &out[2 * (v * 37 + j)];
      if (j == 5) {
        EXPECT_EQ(o[0], 3.4028235e38f);
        EXPECT_EQ(o[1], -3.4028235e38f);
        continue;
      }
      EXPECT_NEAR(o[0], lo, 1e-5 * (1 + std::fabs(lo))) << v << " " << j;
      EXPECT_NEAR(o[1], hi, 1e-5 * (1 + std::fabs(hi))) << v << " " << j;
      if (j == 0) EXPECT_EQ(o[0], o[1]);
    }
}

struct Binned {
  std::vector<int32_t> spans;
  int entries = Frame::kRows + 1, items = 0;
  int16_t First(int v, int d, int r) const { return int16_t(spans[(v * items + d) * entries + 1 + r]); }
  int16_t Last(int v, int d, int r) const {
    return int16_t(uint32_t(spans[(v * items + d) * entries + 1 + r]) >> 16);
  }
};

Binned Bin(const Frame& f, const std::vector<VortaLightRecord>& lights,
           const std::vector<float>& boxes, int workers) {
  Binned b;
  b.items = static_cast<int>(lights.size() + boxes.size() / 6);
  b.spans.assign(2 * b.items * b.entries + 5, 0x12345678);
  VortaScreenBinningJob job{};
  f.Fill(job);
  job.lights = lights.data(), job.lightCount = static_cast<int32_t>(lights.size());
  job.boxes = boxes.data(), job.spans = b.spans.data();
  job.itemsPerView = b.items, job.entriesPerItem = b.entries;
  vorta::host::JobOptions o = Schedule(workers, 4, true, true, 7);
  o.privateRecords = true;
  const int64_t live = vorta::host::LiveAllocations();
  vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_LIGHT_BINNING_SCREEN_ROWS), &job,
                      sizeof job, 2 * b.items, o);
  EXPECT_EQ(live, vorta::host::LiveAllocations()) << "box scratch is released";
  for (int k = 0; k < 5; ++k) EXPECT_EQ(b.spans[2 * b.items * b.entries + k], 0x12345678);
  return b;
}

// Every sampled point's cell lies in its row's span; every reported span
// lies near the sampled shape.
void CheckSampled(const Frame& f, const Binned& b, int lights,
                  const std::function<D3(int, std::mt19937&)>& sample, bool nearTest,
                  std::mt19937& rng) {
  const int R = Frame::kRows, C = Frame::kColumns;
  for (int v = 0; v < 2; ++v)
    for (int d = 0; d < b.items; ++d) {
      std::vector<int> lo(R, INT32_MAX), hi(R, INT32_MIN);
      bool touchesNear = false;
      for (int s = 0; s < 5000; ++s) {
        double col, row;
        const D3 p = f.ToView(v, sample(d, rng));
        if (!f.Cell(p, col, row)) {
          touchesNear = true;
          continue;
        }
        if (-p.z < 1.5 * f.nearDistance) touchesNear = true;
        const double fc = col - std::floor(col), fr = row - std::floor(row);
        const int c = int(std::floor(col)), r = int(std::floor(row));
        const int cr = std::clamp(r, 0, R - 1), cc = std::clamp(c, 0, C - 1);
        lo[cr] = std::min(lo[cr], cc), hi[cr] = std::max(hi[cr], cc);
        if (c < 0 || c >= C || r < 0 || r >= R || fc < 1e-3 || fc > 1 - 1e-3 || fr < 1e-3 ||
            fr > 1 - 1e-3)
          continue;
        ASSERT_LE(b.First(v, d, r), c) << "view " << v << " item " << d << " row " << r;
        ASSERT_GE(b.Last(v, d, r), c) << "view " << v << " item " << d << " row " << r;
      }
      if (!nearTest || touchesNear) continue;
      for (int r = 0; r < R; ++r) {
        if (b.First(v, d, r) > b.Last(v, d, r)) continue;
        int l = INT32_MAX, h = INT32_MIN;
        for (int k = std::max(0, r - 2); k <= std::min(R - 1, r + 2); ++k)
          l = std::min(l, lo[k]), h = std::max(h, hi[k]);
        ASSERT_LE(l, h) << "view " << v << " item " << d << " row " << r << ": no shape near";
        const double slack = 1 + (d < lights ? 0.1 * (h - l) : 0.0);
        ASSERT_GE(b.First(v, d, r), l - slack) << "view " << v << " item " << d << " row " << r;
        ASSERT_LE(b.Last(v, d, r), h + slack) << "view " << v << " item " << d << " row " << r;
      }
    }
}

void BinAndCheck(const Frame& f, const std::vector<VortaLightRecord>& lights,
                 const std::vector<float>& boxes, int workers, std::mt19937& rng) {
  const Binned b = Bin(f, lights, boxes, workers);
  const int nl = static_cast<int>(lights.size());
  CheckSampled(
      f, b, nl,
      [&](int d, std::mt19937& g) {
        return d < nl ? SampleLight(lights[d], g) : SampleBox(&boxes[6 * (d - nl)], g);
      },
      true, rng);
}

TEST_P(LightBinningTest, SampledShapesLieInTheirSpans) {
  for (bool ortho : {false, true}) {
    SCOPED_TRACE(ortho ? "orthographic" : "perspective");
    std::mt19937 rng(ortho ? 23 : 29);
    const Frame f(ortho);
    const std::vector<VortaLightRecord> lights = RandomLights(f, 90, rng);
    const std::vector<float> boxes = RandomBoxes(f, 40, rng);
    BinAndCheck(f, lights, boxes, 3, rng);
  }
}

TEST_P(LightBinningTest, ItemsThatCoverNothingStayEmpty) {
  const Frame f(false);
  const std::vector<VortaLightRecord> lights = {MakeLight(2, {0, 0, 5}, {0, 0, 1}, 1, 0),
                                                MakeLight(0, {0, 0, -10}, {0, 0, 1}, 3, 20)};
  const std::vector<float> boxes = {0, 0, 5, 1, 1, 1};  // behind the eye
  const Binned b = Bin(f, lights, boxes, 2);
  for (int v = 0; v < 2; ++v)
    for (int d : {0, 2})
      for (int k = 0; k < b.entries; ++k)
        EXPECT_EQ(b.spans[(v * b.items + d) * b.entries + k], VORTA_EMPTY_SPAN) << v << " " << d;
  // A spot light pointing at the eye from depth 10 reaches depth 7 only.
  EXPECT_NE(b.spans[1 * b.entries], VORTA_EMPTY_SPAN);
}

TEST_P(LightBinningTest, ItemsAcrossTheGridEdgesKeepTheEdgeRows) {
  // Point lights and boxes centred on and beyond the top, bottom and side edges.
  for (bool ortho : {false, true}) {
    const Frame f(ortho);
    std::vector<VortaLightRecord> lights;
    std::vector<float> boxes;
    const double depth = ortho ? 10 : 12, hh = f.HalfHeight() * (ortho ? 1 : depth),
                 hw = f.HalfWidth() * (ortho ? 1 : depth);
    for (double y : {-hh - 0.4, -hh + 0.1, hh - 0.1, hh + 0.4})
      for (double x : {-hw - 0.3, 0.0, hw + 0.2}) {
        lights.push_back(MakeLight(2, {x, y, -depth}, {0, 0, 1}, 1.3f, 0));
        const float box[6] = {float(x), float(y), float(-depth), 1.1f, 0.9f, 0.5f};
        boxes.insert(boxes.end(), box, box + 6);
      }
    // Flat boxes inside one row, reaching past the left and right edges.
    const double cell = 2 * hh / Frame::kRows;
    for (double x : {-hw, hw}) {
      const float box[6] = {float(x), float(cell * 3.5), float(-depth), float(2.5 * cell),
                            float(0.1 * cell), 0.01f};
      boxes.insert(boxes.end(), box, box + 6);
    }
    std::mt19937 rng(3);
    BinAndCheck(f, lights, boxes, 1, rng);
  }
}

VORTA_INSTANTIATE_VARIANTS(Variants, LightBinningTest);

// The two variants give the same depth bounds and the same spans.
TEST(LightBinningVariants, AgreeExactly) {
  if (!vorta::host::CanRunAvx2()) GTEST_SKIP() << "this processor cannot run the AVX2 variant";
  for (bool ortho : {false, true}) {
    std::mt19937 rng(ortho ? 41 : 43);
    const Frame f(ortho);
    const std::vector<VortaLightRecord> lights = RandomLights(f, 150, rng);
    const std::vector<float> boxes = RandomBoxes(f, 30, rng);
    std::vector<int32_t> spans[2];
    std::vector<float> bounds[2];
    for (int v = 0; v < 2; ++v) {
      vorta::host::InitializeLinked(v ? vorta::CpuVariant::Avx2 : vorta::CpuVariant::Sse2);
      spans[v] = Bin(f, lights, boxes, 2).spans;
      bounds[v] = DepthBounds(f.views, lights, 2);
    }
    EXPECT_EQ(spans[0], spans[1]) << (ortho ? "orthographic" : "perspective");
    EXPECT_EQ(0, std::memcmp(bounds[0].data(), bounds[1].data(), 4 * bounds[0].size()));
  }
}

}  // namespace
