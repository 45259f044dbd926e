// The copy, slice, strided gather, broadcast and triangle jobs. Slices, the
// gather and the broadcasts all run the strided walk of strided_walk.h: each
// run is one block move, one fill or one strided word loop.
#include "tensor/datamove.h"

#include "frame/batch_loop.h"
#include "tensor/strided_walk.h"
#include "tensor/transpose_tile.h"
#include "tensor/word_runs.h"

namespace vorta::VORTA_NS {
namespace {

static inline int32_t ClampRank(int32_t rank) { return rank < 1 ? 1 : rank > 8 ? 8 : rank; }

// Digits of a contiguous tensor of the job's shape (dimension 0 innermost),
// each followed by side 0 with the job's strides; side 0 starts at `base`.
template <class Job>
WalkLayout<1> ShapeLayout(const Job* job, int64_t base) {
  WalkLayout<1> layout(ClampRank(job->rank));
  int64_t divisor = 1;
  for (int k = 0; k < layout.rank; ++k) {
    layout.Digit(k, divisor, job->shape[k]);
    layout.Side(0, k, kFollow, job->strides[k]);
    divisor = layout.modulus[k];
  }
  layout.base[0] = base;
  layout.MergeDigits();
  return layout;
}

// Moves the words of [begin, end) between the contiguous side and side 0 of the
// layout, in the direction the job gives.
template <bool kToContiguous>
void MoveStrided(const WalkLayout<1>& layout, const Word* src, Word* dst, int64_t begin,
                 int64_t end) {
  WalkRuns(layout, begin, end, [&](int64_t at, const StridedWalk<1>& walk, int64_t n) {
    if constexpr (kToContiguous) {
      CopyWords(dst + at, 1, src + walk.Offset(0), walk.RunStep(0), n);
    } else {
      CopyWords(dst + walk.Offset(0), walk.RunStep(0), src + at, 1, n);
    }
  });
}

template <bool kRead>
void RunSlice(const StridedCopyJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const int32_t rank = ClampRank(job->rank);
  int64_t base = 0;
  for (int k = 0; k < rank; ++k) base += job->offsets[k];
  const WalkLayout<1> layout = ShapeLayout(job, base);
  const Word* src = static_cast<const Word*>(job->source);
  Word* dst = static_cast<Word*>(job->destination);
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    MoveStrided<kRead>(layout, src, dst, begin, end);
  });
}

// ---- strided gather ----------------------------------------------------------

// Output rows moved per band of transposed tiles: a whole 64-byte line of
// each source row is used before the band moves on.
constexpr int64_t kBandRows = 16;
// Outputs from this many words on are written past the caches, a line at a
// time: they would only evict the source, and no read-for-ownership is paid.
constexpr int64_t kStreamWords = int64_t(1) << 20;

// A 16 x 16 block transposed in a local buffer, then streamed out by lines.
static inline void StreamBlock(const Word* src, int64_t colStride, Word* dst, int64_t cols) {
  alignas(64) Word block[kBandRows * 16];
  for (int64_t r = 0; r < kBandRows; r += kLanes)
    for (int64_t c = 0; c < 16; c += kLanes)
      TransposeTile(src + r + c * colStride, colStride, block + r * 16 + c, 16);
  for (int64_t p = 0; p < kBandRows; ++p) StreamLine(dst + p * cols, block + p * 16);
}

// Square blocks of output streamed 16 x 16 at a time: few pages on either
// side are in use at once.
constexpr int64_t kStreamBlock = 256;

// Output rows r of `cols` words each, out[r][c] = src[r + c * colStride], for
// rows a multiple of kLanes: kLanes x kLanes tiles, bands of kBandRows rows;
// streamed in blocks where the output is large.
void TransposeRows(const Word* src, int64_t colStride, Word* dst, int64_t cols, int64_t rows,
                   bool stream) {
  int64_t r0 = 0;
  if (stream) {
    const int64_t wholeCols = cols - cols % 16;
    for (; r0 + kBandRows <= rows; r0 += kStreamBlock) {
      int64_t band = rows - r0 < kStreamBlock ? rows - r0 : kStreamBlock;
      band -= band % kBandRows;
      for (int64_t c0 = 0; c0 < wholeCols; c0 += kStreamBlock)
        for (int64_t c = c0; c < c0 + kStreamBlock && c < wholeCols; c += 16)
          for (int64_t r = r0; r < r0 + band; r += kBandRows)
            StreamBlock(src + r + c * colStride, colStride, dst + r * cols + c, cols);
      for (int64_t r = r0; r < r0 + band; ++r)
        for (int64_t c = wholeCols; c < cols; ++c) dst[r * cols + c] = src[r + c * colStride];
      if (band < kStreamBlock) {
        r0 += band;
        break;
      }
    }
  }
  for (; r0 < rows; r0 += kBandRows) {
    const int64_t band = rows - r0 < kBandRows ? rows - r0 : kBandRows;
    int64_t c0 = 0;
    for (; c0 + kLanes <= cols; c0 += kLanes)
      for (int64_t r = r0; r < r0 + band; r += kLanes)
        TransposeTile(src + r + c0 * colStride, colStride, dst + r * cols + c0, cols);
    for (int64_t r = r0; r < r0 + band; ++r)
      for (int64_t c = c0; c < cols; ++c) dst[r * cols + c] = src[r + c * colStride];
  }
}

void RunStridedGather(const StridedGatherJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const WalkLayout<1> layout = ShapeLayout(job, 0);
  const Word* src = static_cast<const Word*>(job->source);
  Word* dst = static_cast<Word*>(job->destination);
  // Rows whose neighbours are neighbours in the source: moved as transposed tiles.
  const int64_t cols = layout.extent[0], rowsPerBlock = layout.extent[1];
  const int64_t colStride = layout.step[0][0];
  const bool tiles = layout.rank >= 2 && layout.step[0][1] == 1 && colStride != 1 &&
                     cols >= kLanes && rowsPerBlock >= kLanes && layout.Regular();
  int64_t words = 1;
  for (int k = 0; k < layout.rank && words < kStreamWords; ++k) words *= layout.extent[k];
  const bool stream = words >= kStreamWords && cols % 4 == 0 &&
                      reinterpret_cast<uintptr_t>(dst) % 16 == 0;
  bool streamed = false;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    StridedWalk<1> walk(layout, begin);
    while (walk.Index() < end) {
      if (tiles && walk.Counter(0) == 0) {
        int64_t rows = (end - walk.Index()) / cols;
        if (rows > rowsPerBlock - walk.Counter(1)) rows = rowsPerBlock - walk.Counter(1);
        rows -= rows % kLanes;
        if (rows > 0) {
          TransposeRows(src + walk.Offset(0), colStride, dst + walk.Index(), cols, rows, stream);
          streamed |= stream;
          // The last row through the ordinary step, which carries into the outer digits.
          walk.AdvanceDigit(1, rows - 1, cols);
          walk.Advance(cols);
          continue;
        }
      }
      int64_t n = walk.Left();
      if (n > end - walk.Index()) n = end - walk.Index();
      CopyWords(dst + walk.Index(), 1, src + walk.Offset(0), walk.RunStep(0), n);
      walk.Advance(n);
    }
  });
  if (streamed) StreamFence();
}

// ---- broadcast -----------------------------------------------------------------

void RunBroadcastCopy(const BroadcastJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const Word* src = static_cast<const Word*>(job->source);
  Word* dst = static_cast<Word*>(job->destination);
  if (job->rank <= 0) {
    RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
      FillWords(dst + begin, *src, end - begin);
    });
    return;
  }
  // Right-aligned slots: slot 7 is digit 0.
  WalkLayout<1> layout(ClampRank(job->rank));
  for (int k = 0; k < layout.rank; ++k) {
    const int slot = 7 - k;
    layout.Digit(k, job->outStrides[slot], job->outShape[slot]);
    layout.Side(0, k, job->inShape[slot], job->inStrides[slot]);
  }
  layout.MergeDigits();
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    MoveStrided<true>(layout, src, dst, begin, end);
  });
}

// ---- triangles -------------------------------------------------------------------

// Row r keeps `keep(position in its matrix)` leading words (lower) or zeroes
// them (upper); the count is formed in 64 bits, so a diagonal near the int32
// limits clamps instead of wrapping around.
template <bool kLower>
void RunTriangle(const TriangleJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const Word* in = static_cast<const Word*>(job->input);
  Word* out = static_cast<Word*>(job->output);
  const int64_t len = job->rowLength < 0 ? 0 : job->rowLength;
  const int32_t rows = job->rowsPerMatrix;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    int32_t p = rows > 0 ? begin % rows : 0;
    for (int64_t r = begin; r < end; ++r) {
      int64_t n = int64_t(job->diagonal) + p + (kLower ? 1 : 0);
      n = n < 0 ? 0 : n > len ? len : n;
      const Word* src = in + r * len;
      Word* dst = out + r * len;
      if (kLower) {
        CopyWords(dst, 1, src, 1, n);
        __builtin_memset(dst + n, 0, size_t(len - n) * 4);
      } else {
        __builtin_memset(dst, 0, size_t(n) * 4);
        CopyWords(dst + n, 1, src + n, 1, len - n);
      }
      if (rows > 0 && ++p == rows) p = 0;
    }
  });
}

void RunRowCopy(const StridedRowCopyJob* job, BatchRanges* ranges, uint32_t jobIndex) {
  const Word* src = static_cast<const Word*>(job->source) + job->srcOffset;
  Word* dst = static_cast<Word*>(job->destination) + job->dstOffset;
  RunBatchLoop(ranges, jobIndex, [&](int32_t begin, int32_t end) {
    for (int64_t r = begin; r < end; ++r)
      CopyWords(dst + r * job->dstStride, 1, src + r * job->srcStride, 1, job->count);
  });
}

}  // namespace

VORTA_MSABI void CopyWordsDirect(const CopyJob* job) {
  if (job->count <= 0) return;
  CopyWords(static_cast<Word*>(job->destination) + job->dstOffset, 1,
            static_cast<const Word*>(job->source) + job->srcOffset, 1, job->count);
}

VORTA_JOB_RUNNING(StridedRowCopy, StridedRowCopyJob, RunRowCopy)
VORTA_JOB_RUNNING(SliceRead, StridedCopyJob, RunSlice<true>)
VORTA_JOB_RUNNING(SliceWrite, StridedCopyJob, RunSlice<false>)
VORTA_JOB_RUNNING(StridedGather, StridedGatherJob, RunStridedGather)
VORTA_JOB_RUNNING(BroadcastCopy, BroadcastJob, RunBroadcastCopy)
VORTA_JOB_RUNNING(LowerTriangle, TriangleJob, RunTriangle<true>)
VORTA_JOB_RUNNING(UpperTriangle, TriangleJob, RunTriangle<false>)

}  // namespace vorta::VORTA_NS
