// Depth bins and tile ranges against brute-force references: for every bin,
// the items whose bin range covers it (lowest and highest light and box index
// and the mask); for every tile, the items whose row span covers its column.
// Depths beyond the int32 range, infinities and NaN saturate (a far bound at
// +inf reaches the last bin, NaN near starts at the first, NaN far runs to the
// last, a near bound past the last bin touches nothing).
#include <vorta/vorta.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <vector>

#include "tests/variant_test.h"

namespace {

using vorta_test::Schedule;
constexpr float kInf = std::numeric_limits<float>::infinity();

class DepthBinsTest : public vorta_test::VariantTest {};

// Bin value of a depth as the reference sees it: saturating truncation.
int64_t RefBin(float d, bool linear, float scale, float bias, bool isFar) {
  const double v = (linear ? double(d) : std::log(double(d))) * scale + bias;
  if (std::isnan(v)) return isFar ? INT32_MAX : INT32_MIN;
  return int64_t(std::clamp(std::trunc(v), -2147483648.0, 2147483647.0));
}

TEST_P(DepthBinsTest, BinsHoldTheItemsWhoseRangeCoversThem) {
  const int lights = 41, boxes = 26, views = 2, binCount = 300, maskWords = 3;
  const int chunks = (binCount + 127) / 128, items = lights + boxes;
  std::mt19937 rng(13);
  for (bool linear : {true, false}) {
    const float scale = linear ? 4.0f : 40.0f, bias = linear ? -3.0f : 10.0f;
    // Depths whose bin value lies 0.3 or more away from an integer (so the
    // logarithm's last bits never decide), plus the special depths.
    auto depthFor = [&](double bin) {
      const double v = (bin - bias) / scale;
      return float(linear ? v : std::exp(v));
    };
    std::vector<float> ranges(2 * items * views);
    for (size_t k = 0; k < ranges.size() / 2; ++k) {
      double a = std::uniform_int_distribution<int>(-20, 320)(rng) + 0.5;
      double b = a + std::uniform_int_distribution<int>(-5, 60)(rng);
      ranges[2 * k] = depthFor(a), ranges[2 * k + 1] = depthFor(b);
      switch (k % 23) {
        case 0: ranges[2 * k + 1] = kInf; break;
        case 1: ranges[2 * k + 1] = 3e38f; break;
        case 2: ranges[2 * k] = std::nanf(""); break;
        case 3: ranges[2 * k + 1] = std::nanf(""); break;
        case 4: ranges[2 * k] = 0.0f; break;
        case 5: ranges[2 * k] = kInf; break;
        case 6: ranges[2 * k] = -1.0f; break;
      }
    }
    const int stride = maskWords + 2;
    std::vector<uint32_t> bins(views * binCount * stride + 3, 0);
    for (int k = 0; k < 3; ++k) bins[views * binCount * stride + k] = 0xabcdef01u;
    VortaDepthBinJob job{};
    job.bins = bins.data(), job.ranges = ranges.data(), job.scale = scale, job.bias = bias;
    job.binCount = binCount, job.maskWords = maskWords, job.lightCount = lights;
    job.boxCount = boxes, job.chunksPerView = chunks, job.views = views, job.linear = linear;
    vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_DEPTHBINS_DEPTH_BINS), &job, sizeof job,
                        views * chunks, Schedule(3, 1, true, true, 4));
    for (int v = 0; v < views; ++v)
      for (int b = 0; b < binCount; ++b) {
        uint32_t want[2 + maskWords] = {0xffff, 0xffff};
        for (int i = 0; i < items; ++i) {
          const size_t at = i < lights ? v * lights + i : views * lights + v * boxes + (i - lights);
          if (RefBin(ranges[2 * at], linear, scale, bias, false) > b ||
              RefBin(ranges[2 * at + 1], linear, scale, bias, true) < b)
            continue;
          uint32_t& h = want[i < lights ? 0 : 1];
          h = std::min<uint32_t>(h & 0xffff, i) | (std::max<uint32_t>(h >> 16, i) << 16);
          want[2 + i / 32] |= 1u << (i % 32);
        }
        for (int w = 0; w < 2 + maskWords; ++w)
          ASSERT_EQ(bins[(v * binCount + b) * stride + w], want[w])
              << (linear ? "linear" : "log") << " view " << v << " bin " << b << " word " << w;
      }
    for (int k = 0; k < 3; ++k) EXPECT_EQ(bins[views * binCount * stride + k], 0xabcdef01u);
  }
}

TEST_P(DepthBinsTest, TilesHoldTheItemsWhoseSpansCoverThem) {
  const int items = 70, views = 2, rows = 9, columns = 37, words = 3, entries = rows + 1;
  std::mt19937 rng(21);
  std::vector<int32_t> spans(views * items * entries);
  for (int32_t& s : spans) {
    const int a = std::uniform_int_distribution<int>(-5, columns + 4)(rng);
    const int b = a + std::uniform_int_distribution<int>(-3, 20)(rng);
    s = rng() % 5 == 0 ? VORTA_EMPTY_SPAN : int32_t((uint32_t(a) & 0xffff) | (uint32_t(b) << 16));
  }
  std::vector<uint32_t> masks(views * rows * columns * words + 2, 0);
  masks[masks.size() - 1] = masks[masks.size() - 2] = 0x5a5a5a5au;
  VortaTileRangeJob job{};
  job.spans = spans.data(), job.masks = masks.data(), job.entriesPerItem = entries;
  job.itemsPerView = items, job.wordsPerTile = words, job.columns = columns, job.rows = rows;
  vorta::host::StartMemoryLog();
  vorta::host::RunJob(vorta::host::LinkedJob(VORTA_EXPORT_DEPTHBINS_TILE_RANGES), &job, sizeof job,
                      views * rows, Schedule(3, 2, true, true, 9));
  const std::vector<vorta::host::MemoryEvent> log = vorta::host::TakeMemoryLog();
  vorta::host::StopMemoryLog();
  EXPECT_EQ(log.size(), size_t(4 * views * rows));  // two lists per row, both released
  int64_t live = 0;
  for (const vorta::host::MemoryEvent& e : log) {
    EXPECT_EQ(e.allocator, 2u);
    if (e.kind == vorta::host::MemoryEvent::MallocTracked) {
      ++live;
      EXPECT_EQ(e.alignment, 2u);
      EXPECT_TRUE(e.size == 2 * items || e.size == 4 * items);
    } else {
      --live;
    }
  }
  EXPECT_EQ(live, 0);
  for (int v = 0; v < views; ++v)
    for (int r = 0; r < rows; ++r)
      for (int k = 0; k < columns; ++k)
        for (int w = 0; w < words; ++w) {
          uint32_t want = 0;
          for (int j = 32 * w; j < std::min(items, 32 * w + 32); ++j) {
            const uint32_t s = uint32_t(spans[(v * items + j) * entries + 1 + r]);
            if (int16_t(s) <= k && k <= int16_t(s >> 16)) want |= 1u << (j % 32);
          }
          ASSERT_EQ(masks[((v * rows + r) * columns + k) * words + w], want)
              << "view " << v << " row " << r << " column " << k;
        }
  EXPECT_EQ(masks[masks.size() - 1], 0x5a5a5a5au);
  EXPECT_EQ(masks[masks.size() - 2], 0x5a5a5a5au);
}

VORTA_INSTANTIATE_VARIANTS(Variants, DepthBinsTest);

}  // namespace
