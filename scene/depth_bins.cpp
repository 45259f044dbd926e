// Depth bins and tile ranges: which lights and boxes touch each depth bin and
// each screen tile of a view.
#include <vorta/vorta.h>

#include "frame/services.h"
#include "scene/geometry.h"
#include "scene/range_job.h"
#include "scene/scene.h"
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

// One item's bin index. Depths beyond the int32 range saturate instead of
// wrapping to the most negative value, so a far bound at +inf or 1e30 still
// reaches the last bin and a near bound there reaches none; a NaN near bound
// starts at the chunk's first bin and a NaN far bound runs to its last.
static inline int32_t BinOf(const DepthBinJob* job, float depth, int32_t nanValue) {
  const float d = job->linear ? depth : LogKernel(depth);
  return TruncSaturate(d * job->scale + job->bias, nanValue);
}

void BinChunk(const DepthBinJob* job, int32_t begin, int32_t end) {
  const int64_t stride = static_cast<int64_t>(job->maskWords) + 2;
  const int32_t lights = job->lightCount, boxes = job->boxCount;
  // Items beyond the mask words the record has are not marked in the masks.
  const int64_t maskItems = static_cast<int64_t>(job->maskWords) * 32;
  for (int32_t e = begin; e < end; ++e) {
    const int32_t v = e / job->chunksPerView;
    const int32_t g = (e % job->chunksPerView) * kBinsPerChunk;
    const int32_t last = MinI(g + kBinsPerChunk, job->binCount) - 1;
    if (g > last) continue;
    uint32_t* chunk = job->bins + (static_cast<int64_t>(v) * job->binCount + g) * stride;
    for (int32_t b = 0; b <= last - g; ++b) chunk[b * stride] = chunk[b * stride + 1] = kEmptyHeader;
    for (int32_t i = 0; i < lights + boxes; ++i) {
      const int64_t at = i < lights ? static_cast<int64_t>(v) * lights + i
                                    : static_cast<int64_t>(job->views) * lights +
                                          static_cast<int64_t>(v) * boxes + (i - lights);
      const int32_t lo = MaxI(BinOf(job, job->ranges[2 * at], INT32_MIN), g);
      const int32_t hi = MinI(BinOf(job, job->ranges[2 * at + 1], INT32_MAX), last);
      if (lo > hi) continue;
      const int header = i < lights ? 0 : 1;
      uint32_t* r = chunk + (lo - g) * stride;
      const bool mark = i < maskItems;
      for (int32_t b = lo; b <= hi; ++b, r += stride) Touch(r, header, static_cast<uint32_t>(i), mark);
    }
  }
}

typedef void*(VORTA_MSABI* MallocTrackedFn)(uint64_t size, uint32_t alignment, uint32_t handle,
                                            uint32_t zero);
typedef void(VORTA_MSABI* FreeTrackedFn)(void* ptr, uint32_t handle);
constexpr uint32_t kScratchHandle = 2;

void ExpandRows(const TileRangeJob* job, int32_t begin, int32_t end) {
  const int32_t items = job->itemsPerView;
  const int64_t per = job->entriesPerItem;
  const int32_t words = job->wordsPerTile, columns = job->columns;
  const uint64_t count = items > 0 ? static_cast<uint64_t>(items) : 0;
  for (int32_t e = begin; e < end; ++e) {
    const int32_t v = e / job->rows, r = e % job->rows;
    // The row's items and spans, filtered once so the column loop touches only
    // the items present in the row.
    auto* listed = static_cast<uint16_t*>(
        ServiceSlot<MallocTrackedFn>(kMallocTracked)(2 * count, 2, kScratchHandle, 0));
    auto* spans = static_cast<uint32_t*>(
        ServiceSlot<MallocTrackedFn>(kMallocTracked)(4 * count, 2, kScratchHandle, 0));
    __builtin_memset(listed, 0, 2 * count);
    __builtin_memset(spans, 0, 4 * count);
    int32_t n = 0;
    const int32_t* row = job->spans + static_cast<int64_t>(v) * items * per + 1 + r;
    for (int32_t j = 0; j < items; ++j) {
      const uint32_t w = static_cast<uint32_t>(row[j * per]);
      if (static_cast<int16_t>(w) <= static_cast<int16_t>(w >> 16)) {
        listed[n] = static_cast<uint16_t>(j);
        spans[n++] = w;
      }
    }
    uint32_t* masks = job->masks + (static_cast<int64_t>(v) * job->rows + r) * columns * words;
    for (int32_t k = 0; k < n; ++k) {
      const int32_t first = MaxI(static_cast<int16_t>(spans[k]), 0);
      const int32_t lastColumn = MinI(static_cast<int16_t>(spans[k] >> 16), columns - 1);
      const uint32_t j = listed[k], bit = 1u << (j & 31);
      uint32_t* word = masks + static_cast<int64_t>(first) * words + (j >> 5);
      for (int32_t c = first; c <= lastColumn; ++c, word += words) *word |= bit;
    }
    ServiceSlot<FreeTrackedFn>(kFreeTracked)(spans, kScratchHandle);
    ServiceSlot<FreeTrackedFn>(kFreeTracked)(listed, kScratchHandle);
  }
}

}  // namespace

VORTA_JOB_RUNNING(DepthBins, DepthBinJob, RunRanges<DepthBinJob, BinChunk>)
VORTA_JOB_RUNNING(TileRanges, TileRangeJob, RunRanges<TileRangeJob, ExpandRows>)

}  // namespace vorta::VORTA_NS
