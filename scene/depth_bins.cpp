// Depth bins and tile ranges: which lights and boxes touch each depth bin and
// each screen tile of a view.
#include <vorta/vorta.h>

#include "scene/geometry.h"
#include "scene/range_job.h"
#include "scene/scene.h"
#include "scene/scratch.h"
#include "tensor/elementary.h"

namespace vorta {
using DepthBinJob = ::VortaDepthBinJob;
using TileRangeJob = ::VortaTileRangeJob;
}  // namespace vorta

namespace vorta::VORTA_NS {
namespace {

constexpr int32_t kBinsPerChunk = 128;
constexpr uint32_t kEmptyHeader = 0x0000ffffu;  // lowest 0xffff, highest 0

// Adds item i to one bin record's header word and mask.
static inline void Touch(uint32_t* record, int header, uint32_t i, bool mark) {
  const uint32_t h = record[header];
  const uint32_t lo = h & 0xffffu, hi = h >> 16;
  record[header] = (i < lo ? i : lo) | ((i > hi ? i : hi) << 16);
  if (mark) record[2 + (i >> 5)] |= 1u << (i & 31);
}

// Bin indices of a vector of depths. Depths beyond the int32 range saturate
// instead of wrapping to the most negative value, so a far bound at +inf or
// 1e30 still reaches the last bin and a near bound there reaches none; a NaN
// near bound starts at the chunk's first bin and a NaN far bound runs to its
// last. (The vector logarithm gives the scalar one's results lane by lane.)
static inline VInt BinsOf(const DepthBinJob* job, VFloat depth, int32_t nanValue) {
  const VFloat d = job->linear ? depth : LogKernel(depth);
  const VFloat t = d * Splat<VFloat>(job->scale) + Splat<VFloat>(job->bias);
  VInt bin = TruncToInt(t);  // the processor gives INT32_MIN for all it cannot represent
  bin = Select(t >= Splat<VFloat>(2147483648.0f), Splat<VInt>(INT32_MAX), bin);
  return Select(IsNan(t), Splat<VInt>(nanValue), bin);
}

void BinChunk(const DepthBinJob* job, int32_t begin, int32_t end) {
  const int64_t stride = static_cast<int64_t>(job->maskWords) + 2;
  const int32_t lights = job->lightCount, boxes = job->boxCount, items = lights + boxes;
  // Items beyond the mask words the record has are not marked in the masks.
  const int64_t maskItems = static_cast<int64_t>(job->maskWords) * 32;
  for (int32_t e = begin; e < end; ++e) {
    const int32_t v = e / job->chunksPerView;
    const int32_t g = (e % job->chunksPerView) * kBinsPerChunk;
    const int32_t last = MinI(g + kBinsPerChunk, job->binCount) - 1;
    if (g > last) continue;
    uint32_t* chunk = job->bins + (static_cast<int64_t>(v) * job->binCount + g) * stride;
    for (int32_t b = 0; b <= last - g; ++b) chunk[b * stride] = chunk[b * stride + 1] = kEmptyHeader;
    for (int32_t i0 = 0; i0 < items; i0 += kLanes) {
      const int32_t n = MinI(kLanes, items - i0);
      float nearDepth[kLanes] = {}, farDepth[kLanes] = {};
      for (int32_t k = 0; k < n; ++k) {
        const int32_t i = i0 + k;
        const int64_t at = i < lights ? static_cast<int64_t>(v) * lights + i
                                      : static_cast<int64_t>(job->views) * lights +
                                            static_cast<int64_t>(v) * boxes + (i - lights);
        nearDepth[k] = job->ranges[2 * at];
        farDepth[k] = job->ranges[2 * at + 1];
      }
      int32_t lo[kLanes], hi[kLanes];
      Store(lo, BinsOf(job, Load<VFloat>(nearDepth), INT32_MIN));
      Store(hi, BinsOf(job, Load<VFloat>(farDepth), INT32_MAX));
      for (int32_t k = 0; k < n; ++k) {
        const int32_t i = i0 + k, from = MaxI(lo[k], g), to = MinI(hi[k], last);
        const int header = i < lights ? 0 : 1;
        const bool mark = i < maskItems;
        uint32_t* r = chunk + static_cast<int64_t>(from - g) * stride;
        for (int32_t b = from; b <= to; ++b, r += stride)
          Touch(r, header, static_cast<uint32_t>(i), mark);
      }
    }
  }
}

// Sets the row's tile bits: per group of mask words and block of columns, each
// listed item toggles its bit where its span starts and just past its end; a
// running XOR over the columns then gives every tile's bits, ORed into the
// masks one vector of words at a time.
constexpr int32_t kSweepWords = 8, kSweepColumns = 128;
typedef uint32_t Words __attribute__((vector_size(4 * kSweepWords)));

// `toggles` is zero on entry and left zero.
void SweepRow(const uint16_t* listed, const uint32_t* spans, int32_t n, uint32_t* masks,
              int32_t columns, int32_t words, Words* toggles) {
  int32_t k0 = 0;  // first listed item of the word group
  for (int32_t w0 = 0; w0 < words && k0 < n; w0 += kSweepWords) {
    const int32_t groupWords = MinI(kSweepWords, words - w0);
    int32_t k1 = k0;
    while (k1 < n && (listed[k1] >> 5) < w0 + kSweepWords) ++k1;
    for (int32_t c0 = 0; c0 < columns && k1 > k0; c0 += kSweepColumns) {
      const int32_t width = MinI(kSweepColumns, columns - c0);
      int32_t from = width, to = -1;  // the block's covered columns
      for (int32_t k = k0; k < k1; ++k) {
        const int32_t first = MaxI(static_cast<int16_t>(spans[k]), c0) - c0;
        const int32_t last = MinI(static_cast<int16_t>(spans[k] >> 16), c0 + width - 1) - c0;
        if (first > last) continue;
        const uint32_t j = listed[k];
        toggles[first][(j >> 5) - w0] ^= 1u << (j & 31);
        toggles[last + 1][(j >> 5) - w0] ^= 1u << (j & 31);
        from = MinI(from, first);
        to = MaxI(to, last);
      }
      Words active{};
      uint32_t* tile = masks + static_cast<int64_t>(c0 + from) * words + w0;
      for (int32_t c = from; c <= to; ++c, tile += words) {
        active ^= toggles[c];
        toggles[c] = Words{};
        if (groupWords == kSweepWords) {
          Words m;
          __builtin_memcpy(&m, tile, sizeof m);
          m |= active;
          __builtin_memcpy(tile, &m, sizeof m);
        } else {
          for (int32_t w = 0; w < groupWords; ++w) tile[w] |= active[w];
        }
      }
      if (to >= from) toggles[to + 1] = Words{};
    }
    k0 = k1;
  }
}

// Rows of one view that share a scan of the span table: an item's entries for
// consecutive rows sit side by side, so one pass reads each cache line once
// instead of once per row.
constexpr int32_t kRowsPerScan = 16;
constexpr int32_t kPrefetchItems = 8;

void ExpandRows(const TileRangeJob* job, int32_t begin, int32_t end) {
  const int32_t items = job->itemsPerView;
  const int64_t per = job->entriesPerItem;
  const int32_t words = job->wordsPerTile, columns = job->columns;
  const uint64_t count = items > 0 ? static_cast<uint64_t>(items) : 0;
  Words toggles[kSweepColumns + 1];
  for (Words& t : toggles) t = Words{};
  for (int32_t e0 = begin; e0 < end;) {
    const int32_t v = e0 / job->rows, r0 = e0 % job->rows;
    const int32_t rowCount = MinI(MinI(kRowsPerScan, end - e0), job->rows - r0);
    // Every row's items and spans, filtered once so the column sweep touches
    // only the items present in the row.
    uint16_t* listed[kRowsPerScan];
    uint32_t* spans[kRowsPerScan];
    int32_t n[kRowsPerScan];
    for (int32_t q = 0; q < rowCount; ++q) {
      listed[q] = static_cast<uint16_t*>(TakeScratch(2 * count, 2));
      spans[q] = static_cast<uint32_t*>(TakeScratch(4 * count, 2));
      n[q] = 0;  // only the first n[q] entries of a list are ever read: no need to zero it
    }
    const int32_t* entry = job->spans + static_cast<int64_t>(v) * items * per + 1 + r0;
    // Most entries are empty: test a vector of rows at once, list the others.
    auto list = [&](int32_t q, int32_t j, uint32_t w) {
      listed[q][n[q]] = static_cast<uint16_t>(j);
      spans[q][n[q]++] = w;
    };
    for (int32_t j = 0; j < items; ++j, entry += per) {
      // The stride between items defeats the hardware prefetcher on some
      // processors: ask for the entries a few items ahead.
      __builtin_prefetch(entry + kPrefetchItems * per);
      __builtin_prefetch(entry + kPrefetchItems * per + rowCount - 1);
      int32_t q = 0;
      for (; q + kLanes <= rowCount; q += kLanes) {
        const VInt w = Load<VInt>(entry + q);
        int bits = LaneBits(((w << 16) >> 16) <= (w >> 16));
        for (; bits; bits &= bits - 1) {
          const int32_t lane = __builtin_ctz(static_cast<unsigned>(bits));
          list(q + lane, j, static_cast<uint32_t>(entry[q + lane]));
        }
      }
      for (; q < rowCount; ++q) {
        const uint32_t w = static_cast<uint32_t>(entry[q]);
        if (static_cast<int16_t>(w) <= static_cast<int16_t>(w >> 16)) list(q, j, w);
      }
    }
    for (int32_t q = 0; q < rowCount; ++q) {
      uint32_t* masks =
          job->masks + (static_cast<int64_t>(v) * job->rows + r0 + q) * columns * words;
      SweepRow(listed[q], spans[q], n[q], masks, columns, words, toggles);
      ReturnScratch(spans[q]);
      ReturnScratch(listed[q]);
    }
    e0 += rowCount;
  }
}

}  // namespace

VORTA_JOB_RUNNING(DepthBins, DepthBinJob, RunRanges<DepthBinJob, BinChunk>)
VORTA_JOB_RUNNING(TileRanges, TileRangeJob, RunRanges<TileRangeJob, ExpandRows>)

}  // namespace vorta::VORTA_NS
